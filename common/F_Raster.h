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
