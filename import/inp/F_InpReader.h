#pragma once
// Abaqus and CalculiX input decks (.inp): *NODE, *ELEMENT with TYPE= and
// ELSET=, *ELSET and *NSET (GENERATE too), *INCLUDE; keywords in any case,
// keyword lines continued by a trailing comma, '**' comments; every other
// keyword and its data are passed over. One layer per element set (elements
// in none: one layer per element type); the nodes of each *NSET are special
// nodes of every layer that uses them.

#include "import/F_MeshBuilder.h"

void readInp(F_InputFile& file, F_MeshBuilder& builder);
