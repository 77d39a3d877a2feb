#pragma once
// One entry point per file reader: feed it any bytes; it must end in a value
// or a reported read error, never a crash, a hang or an internal error.

#include <cstddef>
#include <cstdint>

using FuzzTarget = void (*)(const std::uint8_t* data, std::size_t size);

void fuzzS3d(const std::uint8_t* data, std::size_t size);
void fuzzB3d(const std::uint8_t* data, std::size_t size);
void fuzzCfg(const std::uint8_t* data, std::size_t size);
void fuzzPva(const std::uint8_t* data, std::size_t size);
// Meshes of other programs, through the one import call (by extension).
void fuzzMsh(const std::uint8_t* data, std::size_t size);
void fuzzVtk(const std::uint8_t* data, std::size_t size);
void fuzzVtu(const std::uint8_t* data, std::size_t size);
void fuzzInp(const std::uint8_t* data, std::size_t size);
