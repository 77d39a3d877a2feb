#pragma once
// Node data of an imported file (a temperature, a displacement's magnitude),
// kept beside the mesh so any layer can show it as its scalar field.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "include/F_Vector.h"

struct F_NodeField {
  std::string name;
  std::vector<double> values;  // one per node of the file, in the file's node order
};

class F_NodeFields {
 public:
  // For each layer (0-based here), the file's node behind each of its points.
  std::vector<std::vector<int>> layerNodes;
  std::vector<F_NodeField> fields;

  bool empty() const { return fields.empty(); }
  // The field `name` (the first one when empty) as one value per point of
  // `layer` (1-based), in point order; nothing when there is no such field or layer.
  std::optional<F_VectorReal> layerField(int layer, std::string_view name) const;
};
