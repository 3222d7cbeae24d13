#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vessaro::fuzz {

using Input = std::vector<uint8_t>;

// Starting inputs for a fuzz target, made from valid datagrams and texts in the layout its harness
// reads: "client_dispatch", "server_core", "transcript", "codec". Empty for an unknown name.
std::vector<Input> SeedsFor(const std::string& target);

// The names above.
std::vector<std::string> FuzzTargets();

} // namespace vessaro::fuzz
