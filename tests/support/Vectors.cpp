#include "support/Vectors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace morvane::test {

namespace {
std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}
}  // namespace

bool VectorRecord::Has(std::string_view name) const {
  for (const auto& [k, v] : fields)
    if (k == name) return true;
  return false;
}

const std::string& VectorRecord::Get(std::string_view name) const {
  for (const auto& [k, v] : fields)
    if (k == name) return v;
  throw std::runtime_error("vector record at " + Where() + " has no field " + std::string(name));
}

std::vector<std::string> VectorRecord::GetAll(std::string_view name) const {
  std::vector<std::string> out;
  for (const auto& [k, v] : fields)
    if (k == name) out.push_back(v);
  return out;
}

std::string VectorRecord::Bytes(std::string_view name) const {
  const std::string& v = Get(name);
  const auto x = v.find(" x ");
  if (x == std::string::npos) return FromHex(v);
  const std::string unit = FromHex(Trim(v.substr(0, x)));
  const long count = std::stol(v.substr(x + 3));
  std::string out;
  out.reserve(unit.size() * static_cast<size_t>(count));
  for (long i = 0; i < count; ++i) out += unit;
  return out;
}

std::string VectorRecord::Where() const {
  return "[" + group + "] line " + std::to_string(line);
}

std::vector<VectorRecord> LoadVectors(const std::string& file) {
  const std::string path = std::string(MORVANE_TEST_VECTORS) + "/" + file;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read vector file " + path);
  std::vector<VectorRecord> out;
  std::string group;
  VectorRecord current;
  auto flush = [&] {
    if (!current.fields.empty()) out.push_back(std::move(current));
    current = VectorRecord{};
  };
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    const std::string t = Trim(line);
    if (t.empty()) {
      flush();
      continue;
    }
    if (t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      flush();
      group = t.substr(1, t.size() - 2);
      continue;
    }
    const auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (current.fields.empty()) {
      current.group = group;
      current.line = lineNo;
    }
    current.fields.emplace_back(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
  }
  flush();
  return out;
}

std::vector<VectorRecord> LoadVectorGroup(const std::string& file, std::string_view group) {
  std::vector<VectorRecord> out;
  for (auto& r : LoadVectors(file))
    if (r.group == group) out.push_back(std::move(r));
  return out;
}

std::string FromHex(std::string_view hex) {
  std::string out;
  int nibbles = 0;
  unsigned acc = 0;
  for (char c : hex) {
    unsigned v;
    if (c >= '0' && c <= '9') v = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') v = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') v = static_cast<unsigned>(c - 'A' + 10);
    else continue;
    acc = (acc << 4) | v;
    if (++nibbles == 2) {
      out += static_cast<char>(acc);
      acc = 0;
      nibbles = 0;
    }
  }
  return out;
}

std::string ToHex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::vector<uint32_t> HexWords(std::string_view text) {
  std::vector<uint32_t> out;
  std::istringstream in{std::string(text)};
  std::string word;
  while (in >> word) out.push_back(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
  return out;
}

std::string RandomBytes(size_t n, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(gen() & 0xFF);
  return out;
}

std::string TempPath(const std::string& name) {
  static const std::filesystem::path dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "morvane-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    std::filesystem::path p(tmpl);
    static struct Cleanup {
      std::filesystem::path path;
      ~Cleanup() {
        std::error_code ec;
        // Read-only files inside must not stop the removal.
        for (auto& e : std::filesystem::recursive_directory_iterator(path, ec))
          std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                       std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path, ec);
      }
    } cleanup{p};
    return p;
  }();
  return (dir / name).string();
}

}  // namespace morvane::test
