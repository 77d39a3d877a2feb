#include "import/F_NodeFields.h"

std::optional<F_VectorReal> F_NodeFields::layerField(int layer, std::string_view name) const {
  if (layer < 1 || layer > static_cast<int>(layerNodes.size()) || fields.empty()) return std::nullopt;
  const F_NodeField* field = name.empty() ? &fields.front() : nullptr;
  for (const F_NodeField& f : fields) {
    if (!field && f.name == name) field = &f;
  }
  if (!field) return std::nullopt;
  const std::vector<int>& nodes = layerNodes[static_cast<std::size_t>(layer - 1)];
  F_VectorReal values(static_cast<int>(nodes.size()));
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    values(static_cast<int>(i) + 1) = field->values[static_cast<std::size_t>(nodes[i])];
  }
  return values;
}
