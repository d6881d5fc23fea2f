// Reader of the test-vector files: groups ("[NAME]") of records ("Field = value" lines separated
// by blank lines), with '#' comment lines. Fields may repeat within a record (e.g. "Words").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::test {

struct VectorRecord {
  std::string group;   // the [NAME] the record stands under ("" before any)
  int line = 0;        // line of its first field, for messages
  std::vector<std::pair<std::string, std::string>> fields;

  bool Has(std::string_view name) const;
  // The first value of the field; fails the current test when absent.
  const std::string& Get(std::string_view name) const;
  // Every value of a repeated field, in order.
  std::vector<std::string> GetAll(std::string_view name) const;
  // The field's hex value as bytes; "HEX x N" repeats the bytes N times.
  std::string Bytes(std::string_view name) const;
  // A description for failure messages: file group and line.
  std::string Where() const;
};

// Reads tests/vectors/<file>; an unreadable file fails the test that asks.
std::vector<VectorRecord> LoadVectors(const std::string& file);
// Only the records of one group.
std::vector<VectorRecord> LoadVectorGroup(const std::string& file, std::string_view group);

std::string FromHex(std::string_view hex);
std::string ToHex(std::string_view bytes);  // upper case
// Whitespace-separated 32-bit hex words.
std::vector<uint32_t> HexWords(std::string_view text);

// A deterministic pseudo-random byte string for round trips.
std::string RandomBytes(size_t n, uint64_t seed);

// A path for a scratch file in a fresh per-test directory that is removed at exit.
std::string TempPath(const std::string& name);

}  // namespace morvane::test
