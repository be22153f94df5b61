// The ways pack_literals can pack whole groups of eight bytes: portable 64-bit code, and
// AVX2 on x86 processors that have it. The fastest available one is used; tests and
// benchmarks switch between them to check and time each.
#pragma once

namespace norvak {

enum class LiteralPath { portable, avx2 };

bool literal_path_available(LiteralPath path);

// Makes pack_literals use `path` from now on, if this machine has it (else nothing
// changes); returns the path used before. Not for use while packing is under way.
LiteralPath use_literal_path(LiteralPath path);

}  // namespace norvak
