#include "runtime/file/rpk_writer.h"

#include <string.h>

#include <deque>
#include <set>

#include "runtime/file/rpk.h"

namespace qx {

namespace {

constexpr size_t kMaxCopy = 8195;
constexpr size_t kMaxDistance = 1u << 24;
constexpr int kChainDepth = 64;
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
void Put64(std::vector<uint8_t>& v, uint64_t x) {
  Put32(v, static_cast<uint32_t>(x));
  Put32(v, static_cast<uint32_t>(x >> 32));
}
void Set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

uint32_t Hash4(const uint8_t* p) {
  uint32_t x;
  memcpy(&x, p, 4);
  return (x * 2654435761u) >> 16;
}

size_t DistanceWidth(size_t distance) {
  if (distance <= 0x100) return 0;
  if (distance <= 0x10000) return 1;
  return 2;
}

size_t TokenCost(size_t length, size_t distance) {
  return 2 + (length - 4 >= 32 ? 1 : 0) + DistanceWidth(distance) + 1;
}

}  // namespace

std::vector<uint8_t> EncodeRpkBlock(const uint8_t* data, size_t size) {
  // The rarest byte is the escape, so literals seldom need doubling.
  size_t counts[256] = {};
  for (size_t i = 0; i < size; ++i) ++counts[data[i]];
  uint8_t escape = 0;
  for (int b = 1; b < 256; ++b) {
    if (counts[b] < counts[escape]) escape = static_cast<uint8_t>(b);
  }

  std::vector<uint8_t> out;
  out.reserve(size / 2 + 16);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, 0);
  out.push_back(escape);

  std::vector<int32_t> head(1u << 16, -1);
  std::vector<int32_t> prev(size, -1);
  auto insert = [&](size_t i) {
    if (i + 4 > size) return;
    uint32_t h = Hash4(data + i);
    prev[i] = head[h];
    head[h] = static_cast<int32_t>(i);
  };

  size_t i = 0;
  while (i < size) {
    size_t bestLength = 0;
    size_t bestDistance = 0;
    if (i + 4 <= size) {
      const size_t limit = size - i < kMaxCopy ? size - i : kMaxCopy;
      int32_t candidate = head[Hash4(data + i)];
      for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
        size_t distance = i - static_cast<size_t>(candidate);
        if (distance > kMaxDistance) break;
        size_t length = 0;
        while (length < limit && data[candidate + length] == data[i + length]) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestDistance = distance;
          if (length == limit) break;
        }
        candidate = prev[candidate];
      }
    }
    size_t literalCost = 0;
    for (size_t k = 0; k < bestLength; ++k) literalCost += data[i + k] == escape ? 2 : 1;
    if (bestLength >= 4 && TokenCost(bestLength, bestDistance) < literalCost) {
      const size_t extra = bestLength - 4;
      const size_t width = DistanceWidth(bestDistance);
      uint32_t code = static_cast<uint32_t>(((extra & 31) << 3) | (extra >= 32 ? 4 : 0) | width);
      out.push_back(escape);
      out.push_back(static_cast<uint8_t>(code >= escape ? code + 1 : code));
      if (extra >= 32) out.push_back(static_cast<uint8_t>(extra >> 5));
      const size_t field = bestDistance - 1;
      for (size_t k = 0; k <= width; ++k) out.push_back(static_cast<uint8_t>(field >> (8 * k)));
      for (size_t k = 0; k < bestLength; ++k) insert(i + k);
      i += bestLength;
    } else {
      out.push_back(data[i]);
      if (data[i] == escape) out.push_back(escape);
      insert(i);
      ++i;
    }
  }
  Set32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}

uint64_t UnixToFileTime(int64_t seconds, uint32_t nanoseconds) {
  int64_t t = seconds * 10000000 + nanoseconds / 100 + static_cast<int64_t>(kUnixEpochAsFileTime);
  return t < 0 ? 0 : static_cast<uint64_t>(t);
}

int64_t FileTimeToUnix(uint64_t fileTime, uint32_t* nanoseconds) {
  int64_t t = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
  int64_t seconds = t / 10000000;
  int64_t rest = t % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  if (nanoseconds) *nanoseconds = static_cast<uint32_t>(rest * 100);
  return seconds;
}

bool BuildRpkArchive(const std::vector<RpkWriterEntry>& root, const RpkWriterOptions& options,
                     std::vector<uint8_t>* out, std::string* error) {
  if (options.version > kRpkMaxVersion) {
    *error = "unsupported archive version";
    return false;
  }
  const size_t entrySize = RpkFileHeaderSize(options.version);
  const bool compress = options.compress && options.version >= 2;

  std::vector<uint8_t> names;
  std::vector<uint8_t> files;
  std::vector<uint8_t> directories;
  std::vector<uint8_t> data;

  struct Pending {
    const std::vector<RpkWriterEntry>* entries;
    uint32_t offset;
    uint32_t parent;
    uint32_t ownHeader;
    std::string path;
  };
  std::deque<Pending> queue;
  queue.push_back({&root, 0, kRpkNoParent, 0xFFFFFFFFu, ""});
  uint32_t nextDirectory = kRpkDirectorySize;

  while (!queue.empty()) {
    Pending d = queue.front();
    queue.pop_front();
    if (directories.size() < d.offset + kRpkDirectorySize) directories.resize(d.offset + kRpkDirectorySize);
    Set32(directories, d.offset, d.ownHeader);
    Set32(directories, d.offset + 4, d.parent);
    Set32(directories, d.offset + 8, static_cast<uint32_t>(d.entries->size()));
    Set32(directories, d.offset + 12, static_cast<uint32_t>(files.size()));

    std::set<std::vector<uint8_t>> seen;
    for (const RpkWriterEntry& e : *d.entries) {
      const std::string where = d.path + e.name;
      if (e.name.empty() || e.name == "." || e.name == ".." || e.name.find('/') != std::string::npos || e.name.size() > kRpkMaxComponent) {
        *error = "unusable name: \"" + where + "\"";
        return false;
      }
      // A separator that is not the second byte of a double-byte character
      // cuts the name short here.
      RpkSearchName s;
      if (MakeSearchName(e.name.c_str(), e.name.size(), &s) != static_cast<int>(e.name.size())) {
        *error = "unusable name: \"" + where + "\"";
        return false;
      }
      std::vector<uint8_t> key(s.bytes, s.bytes + s.units * 4);
      if (!seen.insert(key).second) {
        *error = "two names differ only in letter case: \"" + where + "\"";
        return false;
      }

      const uint32_t headerOffset = static_cast<uint32_t>(files.size());
      Put32(files, static_cast<uint32_t>(names.size()));
      Put16(names, s.units);
      Put16(names, s.parity);
      names.insert(names.end(), s.bytes, s.bytes + s.units * 4);
      names.insert(names.end(), e.name.begin(), e.name.end());
      names.push_back(0);

      Put32(files, e.attributes | (e.isDirectory ? kRpkDirectoryAttribute : 0));
      Put64(files, e.creationTime);
      Put64(files, e.lastAccessTime);
      Put64(files, e.lastWriteTime);
      if (e.isDirectory) {
        Put32(files, nextDirectory);
        Put32(files, 0);
        queue.push_back({&e.children, nextDirectory, d.offset, headerOffset, where + "/"});
        nextDirectory += kRpkDirectorySize;
        if (entrySize == 44) Put32(files, kRpkStored);
        continue;
      }
      if (e.data.size() > 0xFFFFFFFFu) {
        *error = "file too large: \"" + where + "\"";
        return false;
      }
      Put32(files, static_cast<uint32_t>(data.size()));
      Put32(files, static_cast<uint32_t>(e.data.size()));
      std::vector<uint8_t> block;
      if (compress && !e.data.empty()) block = EncodeRpkBlock(e.data.data(), e.data.size());
      if (!block.empty() && block.size() < e.data.size()) {
        Put32(files, static_cast<uint32_t>(block.size()));
        data.insert(data.end(), block.begin(), block.end());
      } else {
        if (entrySize == 44) Put32(files, kRpkStored);
        data.insert(data.end(), e.data.begin(), e.data.end());
      }
      if (data.size() > 0xF0000000u) {
        *error = "archive too large";
        return false;
      }
    }
  }

  std::vector<uint8_t>& a = *out;
  a.clear();
  const uint64_t tablesOffset = kRpkHeaderSize + data.size();
  const uint64_t tablesSize = names.size() + files.size() + directories.size();
  if (tablesOffset + tablesSize > 0xFFFFFFFFu) {
    *error = "archive too large";
    return false;
  }
  Put16(a, kRpkMagic);
  Put16(a, options.version);
  Put32(a, static_cast<uint32_t>(tablesSize));
  Put32(a, static_cast<uint32_t>(kRpkHeaderSize));
  Put32(a, static_cast<uint32_t>(tablesOffset));
  Put32(a, static_cast<uint32_t>(names.size()));
  Put32(a, static_cast<uint32_t>(names.size() + files.size()));
  a.insert(a.end(), data.begin(), data.end());
  a.insert(a.end(), names.begin(), names.end());
  a.insert(a.end(), files.begin(), files.end());
  a.insert(a.end(), directories.begin(), directories.end());

  uint8_t key[kRpkKeySize];
  DeriveArchiveKey(options.keyString, key);
  ApplyArchiveXor(a.data(), a.size(), 0, key);
  return true;
}

}  // namespace qx
