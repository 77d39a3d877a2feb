#pragma once
// The segment and triangle fills behind F_GrLine and F_GrTriang, on plain
// corners, for the renderer's inner loop: no object per primitive, the colour
// scale and the drawing area built once per layer.

#include "common/F_ColorScale.h"
#include "common/F_DrawArea.h"
#include "common/F_ScreenMap.h"

// A segment from a to b with its depth bias (a tenth of its 3D length).
void rasterLine(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, const F_Vertex& a,
                const F_Vertex& b);
void rasterTriangle(const F_DrawArea& area, const F_ScreenMap& map, const F_ColorScale& scale, F_Vertex a,
                    F_Vertex b, F_Vertex c);

// The rows, rowFrom to rowTo, that the two fills above may write for these
// corners; false when they write nothing at all in `area`. The checks are the
// fills' own first steps, so a caller may drop a primitive on a false (or on
// rows outside its area) and know that no pixel is lost.
bool triangleRows(const F_DrawArea& area, const F_ScreenMap& map, const F_Vertex& a, const F_Vertex& b,
                  const F_Vertex& c, int& rowFrom, int& rowTo);
bool lineRows(const F_DrawArea& area, const F_ScreenMap& map, const F_Vertex& a, const F_Vertex& b, int& rowFrom,
              int& rowTo);
