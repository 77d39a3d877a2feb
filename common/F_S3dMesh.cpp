#include "common/F_S3dMesh.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {
constexpr std::uint64_t kMinLayerBytes = 8;
}  // namespace

void F_S3dMesh::readS3d(F_InputFile& file) {
  name.clear();
  layers.clear();
  name = readTitleLine(file);
  for (;;) {
    skipRestOfLine(file);
    // Any byte after the last layer starts another one, even a blank line.
    if (file.get() == F_InputFile::kEof) return;
    file.unget();
    // A layer takes at least its title line and its counts line, "L\n0 0 0\n"
    // (the file ends with a NewLine): the list never grows beyond what the
    // rest of the file can hold, so a file of millions of empty layers ends
    // with its list full, not up to twice too long.
    if (layers.size() == layers.capacity()) {
      const std::uint64_t room = file.remaining() / kMinLayerBytes;
      const std::uint64_t doubled = std::max<std::uint64_t>(2 * static_cast<std::uint64_t>(layers.size()), 4);
      layers.reserve(static_cast<int>(std::min<std::uint64_t>(
          std::min(doubled, static_cast<std::uint64_t>(layers.size()) + room), INT32_MAX)));
    }
    layers.append(F_S3dLayer());
    layers.last().read(file);
  }
}

namespace {
// An empty title would be written as an empty line, which the reader passes
// over: the next line would become the title and the file would not read back.
std::string exportedTitle(const std::string& title, const char* fallback) {
  return title.empty() ? std::string(fallback) : title;
}
}  // namespace

void F_S3dMesh::writeS3d(F_OutputFile& file) const {
  file.write(exportedTitle(name, "Untitled"));
  file.put('\n');
  for (int i = 1; i <= layerCount(); ++i) {
    if (layers(i).name.empty()) {
      F_S3dLayer named = layers(i);
      named.name = "Layer " + std::to_string(i);
      named.write(file);
    } else {
      layers(i).write(file);
    }
  }
}

void F_S3dMesh::Serialize(F_Archive& ar) {
  if (ar.isStoring()) {
    ar.writeString(name);
    ar.writeInt(layerCount());
    for (auto& layer : layers) layer.Serialize(ar);
    return;
  }
  name = ar.readValidString("mesh name");
  // A smallest layer is an empty name and three zero counts: 13 bytes.
  layers.resize(ar.readCount(13, "layer count"));
  for (auto& layer : layers) layer.Serialize(ar);
}
