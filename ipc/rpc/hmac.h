// SHA-256 and HMAC-SHA-256 (FIPS 180-4, RFC 2104) for the challenge and
// response of RPC connections across the network, and a comparison whose time
// does not depend on where two digests differ.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tvx::ipc::rpc {

using Digest = std::array<uint8_t, 32>;

Digest sha256(const void* data, size_t size);
Digest hmacSha256(std::string_view key, const void* data, size_t size);

// True when the two digests are equal; looks at every byte whatever it finds.
bool sameDigest(const Digest& a, const Digest& b);

}  // namespace tvx::ipc::rpc
