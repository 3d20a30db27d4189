#pragma once
// Mutations of binary data for fuzz tests: bits flipped, bytes replaced,
// inserted and deleted, the data cut short, a length or count field made
// huge, a chunk repeated. One to four edits per call.
#include <random>
#include <string>

namespace testsupport {

std::string MutateBytes(std::string s, std::mt19937& rng);

}  // namespace testsupport
