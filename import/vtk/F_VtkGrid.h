#pragma once
// What both VTK readers collect before building layers: cells by their VTK
// type over 0-based point numbers, and the cell arrays that may name regions.
// Layers can only be chosen once the cell data has been read.

#include <cstdint>
#include <string>
#include <vector>

#include "import/F_MeshBuilder.h"

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

  std::size_t cellCount() const { return types.size(); }
  // Room for `cells` more cells of `points` points in all.
  void reserve(std::size_t cells, std::size_t points) {
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
void buildVtkLayers(const F_VtkGrid& grid, F_MeshBuilder& builder);

// Node values of `components` per point, stored as one field (a vector by its magnitude).
void addVtkPointField(F_MeshBuilder& builder, const std::string& name, const std::vector<double>& values,
                      int components, F_MeshBuilder::Where where);
