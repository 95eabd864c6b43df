// SHA-256 (FIPS 180-4), for the key that tells one game from another: a
// hash nobody can make two games share on purpose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

std::array<uint8_t, 32> Sha256(const uint8_t *data, size_t size);
