SetFactory("OpenCASCADE");
Box(1) = {0,0,0,1,1,1};
Mesh.MeshSizeMax = 1;
Physical Volume("cube") = {1};
