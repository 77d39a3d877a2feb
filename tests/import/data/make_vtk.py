# Writes the 4x4x4 hexahedral unit cube (with its 16 bottom quads and the
# corner point) in every VTK encoding. Needs python3-vtk9; run with /usr/bin/python3.
import sys, vtk
out = sys.argv[1]
n = 4
pts = vtk.vtkPoints()
pts.SetDataTypeToDouble()
def pid(i, j, k): return i + (n + 1) * (j + (n + 1) * k)
for k in range(n + 1):
    for j in range(n + 1):
        for i in range(n + 1):
            pts.InsertNextPoint(i / n, j / n, k / n)
grid = vtk.vtkUnstructuredGrid()
grid.SetPoints(pts)
ids = vtk.vtkIntArray(); ids.SetName("CellEntityIds")
for k in range(n):
    for j in range(n):
        for i in range(n):
            c = [pid(i,j,k), pid(i+1,j,k), pid(i+1,j+1,k), pid(i,j+1,k),
                 pid(i,j,k+1), pid(i+1,j,k+1), pid(i+1,j+1,k+1), pid(i,j+1,k+1)]
            grid.InsertNextCell(vtk.VTK_HEXAHEDRON, 8, c); ids.InsertNextValue(1)
for j in range(n):
    for i in range(n):
        grid.InsertNextCell(vtk.VTK_QUAD, 4, [pid(i,j,0), pid(i+1,j,0), pid(i+1,j+1,0), pid(i,j+1,0)])
        ids.InsertNextValue(2)
grid.InsertNextCell(vtk.VTK_VERTEX, 1, [0]); ids.InsertNextValue(3)
grid.GetCellData().AddArray(ids)
t = vtk.vtkDoubleArray(); t.SetName("temperature")
d = vtk.vtkDoubleArray(); d.SetName("displacement"); d.SetNumberOfComponents(3)
for p in range(pts.GetNumberOfPoints()):
    x, y, z = pts.GetPoint(p)
    t.InsertNextValue(x + 2 * y + 3 * z)
    d.InsertNextTuple3(x, y, z)
grid.GetPointData().AddArray(t)
grid.GetPointData().AddArray(d)

def legacy(name, binary, version):
    w = vtk.vtkUnstructuredGridWriter(); w.SetInputData(grid); w.SetFileName(out + "/" + name)
    if binary: w.SetFileTypeToBinary()
    if version: w.SetFileVersion(version)
    w.Write()
legacy("cube-hex-ascii.vtk", False, 42)
legacy("cube-hex-binary.vtk", True, 42)
legacy("cube-hex-ascii-5.1.vtk", False, None)
legacy("cube-hex-binary-5.1.vtk", True, None)

def xml(name, mode, compress):
    w = vtk.vtkXMLUnstructuredGridWriter(); w.SetInputData(grid); w.SetFileName(out + "/" + name)
    if mode == "ascii": w.SetDataModeToAscii()
    elif mode == "binary": w.SetDataModeToBinary()
    else:
        w.SetDataModeToAppended()
        w.SetEncodeAppendedData(mode == "appended-base64")
    if compress: w.SetCompressorTypeToZLib()
    else: w.SetCompressorTypeToNone()
    w.Write()
xml("cube-hex-ascii.vtu", "ascii", False)
xml("cube-hex-base64.vtu", "binary", False)
xml("cube-hex-raw.vtu", "appended-raw", False)
xml("cube-hex-zlib.vtu", "binary", True)
xml("cube-hex-raw-zlib.vtu", "appended-raw", True)
xml("cube-hex-appended-base64.vtu", "appended-base64", False)
xml("cube-hex-appended-base64-zlib.vtu", "appended-base64", True)

# The skin as poly data: the 96 outer quads.
geo = vtk.vtkGeometryFilter(); geo.SetInputData(grid); geo.Update()
surf = vtk.vtkDataSetSurfaceFilter(); surf.SetInputData(grid); surf.Update()
w = vtk.vtkPolyDataWriter(); w.SetInputData(surf.GetOutput()); w.SetFileName(out + "/cube-skin-polydata.vtk")
w.SetFileVersion(42)
w.Write()
