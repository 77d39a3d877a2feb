#pragma once
// What both VTK readers collect before building layers: cells by their VTK
// type over 0-based point numbers, and the cell arrays that may name regions.
// Layers can only be chosen once the cell data has been read.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "import/F_MeshBuilder.h"
#include "include/F_Errors.h"

struct F_VtkGrid {
  std::vector<std::uint8_t> types;        // one VTK cell type per cell
  std::vector<std::int64_t> offsets{0};   // cell i's points are connectivity[offsets[i], offsets[i+1])
  std::vector<std::int64_t> connectivity;
  // Where each run of cells was read, for messages: (first cell, place).
  std::vector<std::pair<std::size_t, F_MeshBuilder::Where>> places;
  struct CellArray {
    std::string name;
    std::vector<double> values;
  };
  std::vector<CellArray> cellArrays;  // one-component cell arrays
  // A long cell list of cells of one size, checked where it stands in the
  // file (or, on a guess, as it is read) but read only when the layers are
  // built, a piece at a time straight into the builder: every cell of the
  // grid has `each` points, and neither `offsets` nor `connectivity` hold
  // them yet.
  struct Pending {
    std::size_t each = 0;
    // The points of cells first .. first + n - 1 into `out`, as
    // `connectivity` would hold them; false when the file gives fewer bytes.
    // Threads may read at once.
    std::function<bool(std::size_t first, std::size_t n, std::int64_t* out)> read;
    // The same cells resolved straight from the file's values into cells
    // at .. at + n - 1 of `batch` (F_MeshBuilder::resolveCellsWith), with
    // no 64-bit list between. Threads may resolve at once.
    enum class Resolved { All, Short, Unknown };  // Short: fewer bytes; Unknown: a node not defined
    std::function<Resolved(std::size_t first, std::size_t n, F_MeshBuilder& builder,
                           const F_MeshBuilder::CellBatch& batch, std::size_t at)>
        resolve;
  };
  std::optional<Pending> pending;
  // The pending cells into `offsets` and `connectivity` (before any other
  // cell is added); false when the file gave fewer bytes, and then no cell
  // is kept.
  bool settle();

  std::size_t cellCount() const { return types.size(); }
  // Room for `cells` more cells of `points` points in all.
  void reserve(std::size_t cells, std::size_t points) {
    if (pending) internalError("F_VtkGrid", 1);  // settled first
    types.reserve(types.size() + cells);
    offsets.reserve(offsets.size() + cells);
    connectivity.reserve(connectivity.size() + points);
  }
  void addCell(int type, const std::int64_t* points, std::int64_t count, F_MeshBuilder::Where at);
  // Ends a cell whose points were appended to `connectivity`.
  void endCell(int type, F_MeshBuilder::Where at);
};

// A point number or offset read as a real: whole values in a sane range as
// they are, anything else as -1, which no point has.
inline std::int64_t vtkIndex(double value) {
  if (!(value >= 0 && value <= 1e15) || value != static_cast<double>(static_cast<std::int64_t>(value))) return -1;
  return static_cast<std::int64_t>(value);
}

// The layers and cells into `builder`: one layer per value of the first cell
// array that names regions (gmsh:physical, CellEntityIds, MaterialIds,
// region), else one per cell dimension. Types that cannot be shown are counted.
void buildVtkLayers(F_VtkGrid& grid, F_MeshBuilder& builder);

// Node values of `components` per point, stored as one field (a vector by its magnitude).
void addVtkPointField(F_MeshBuilder& builder, const std::string& name, const std::vector<double>& values,
                      int components, F_MeshBuilder::Where where);

// `count` points of three reals of `size` bytes (4 or 8) each, from byte
// `start` of the file, turned when `swap`, read on `shares` threads straight
// into a node batch numbered on from `firstId`. False, with nothing kept,
// when the batch cannot be begun, the file ends first or a point is not
// finite: the ordinary reading then takes the points and says what is wrong.
bool readPointsShared(F_MeshBuilder& builder, const F_InputFile& file, std::uint64_t start, std::size_t size,
                      bool swap, std::size_t count, int shares, std::int64_t firstId);
