#include "runtime/file/path.h"

#include <string.h>

#include "runtime/file/rpk.h"
#include "runtime/platform/platform.h"

namespace qx {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

uint8_t UpperByte(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 'a' + 'A') : c; }

// Component equality ignoring ASCII letter case outside double-byte characters.
bool SameNameIgnoringCase(const char* a, size_t aLength, const char* b) {
  if (strlen(b) != aLength) return false;
  for (size_t i = 0; i < aLength; ++i) {
    uint8_t x = static_cast<uint8_t>(a[i]);
    uint8_t y = static_cast<uint8_t>(b[i]);
    if (IsShiftJisLead(x) && i + 1 < aLength) {
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (UpperByte(x) != UpperByte(y)) return false;
  }
  return true;
}

struct Builder {
  char* text;
  size_t size;
  size_t length;
  bool failed;

  void Append(const char* s, size_t n) {
    if (length + n + 1 > size) {
      failed = true;
      return;
    }
    memcpy(text + length, s, n);
    length += n;
    text[length] = 0;
  }
};

// Start of the last component (the position of its separator), never before
// the root.
size_t LastSeparator(const char* text, size_t length) {
  size_t last = 0;
  size_t p = 0;
  while (p < length) {
    if (text[p] == '\\') {
      last = p;
      ++p;
    } else if (IsShiftJisLead(static_cast<uint8_t>(text[p])) && p + 1 < length) {
      p += 2;
    } else {
      ++p;
    }
  }
  return last;
}

}  // namespace

void UpperCasePath(char* text) {
  for (size_t i = 0; text[i] != 0; ++i) {
    uint8_t c = static_cast<uint8_t>(text[i]);
    if (IsShiftJisLead(c) && text[i + 1] != 0) {
      ++i;
      continue;
    }
    text[i] = static_cast<char>(UpperByte(c));
  }
}

size_t PathComponentEnd(const char* path, size_t p) {
  while (path[p] != 0 && !IsSeparator(path[p])) {
    p += (IsShiftJisLead(static_cast<uint8_t>(path[p])) && path[p + 1] != 0) ? 2 : 1;
  }
  return p;
}

int MakeFullPath(const char* path, char* asWritten, char* upper, size_t size) {
  if (!path || size == 0) return -1;
  Builder out{asWritten, size, 0, false};
  asWritten[0] = 0;
  size_t p = 0;
  if (IsSeparator(path[0])) {
    // Both "/x" and "//x" are the root here: there are no drives or network
    // names on this platform.
    while (IsSeparator(path[p])) ++p;
  } else {
    char current[kFilePathMax];
    if (Os().GetCurrentDirectory(current, sizeof(current)) != 0) return -1;
    size_t c = 0;
    while (current[c] != 0) {
      while (current[c] == '/') ++c;
      if (current[c] == 0) break;
      size_t end = PathComponentEnd(current, c);
      out.Append("\\", 1);
      out.Append(current + c, end - c);
      c = end;
    }
  }
  while (path[p] != 0) {
    size_t end = PathComponentEnd(path, p);
    size_t n = end - p;
    bool last = path[end] == 0;
    if (n == 0) {
      // "a//b" is "a/b"; a trailing separator adds nothing.
    } else if (!last && n == 1 && path[p] == '.') {
    } else if (!last && n == 2 && path[p] == '.' && path[p + 1] == '.') {
      out.length = LastSeparator(out.text, out.length);
      out.text[out.length] = 0;
    } else {
      out.Append("\\", 1);
      out.Append(path + p, n);
    }
    p = end;
    while (IsSeparator(path[p])) ++p;
  }
  if (out.length == 0) out.Append("\\", 1);
  if (out.failed) return -1;
  memcpy(upper, asWritten, out.length + 1);
  UpperCasePath(upper);
  return 0;
}

int ResolveDiskPath(const char* fullPath, char* out, size_t size) {
  const PlatformOsOps& os = Os();
  Builder b{out, size, 0, false};
  out[0] = 0;
  size_t p = 0;
  while (fullPath[p] == '\\') ++p;
  if (fullPath[p] == 0) {
    b.Append("/", 1);
    return b.failed ? -1 : 0;
  }
  while (fullPath[p] != 0) {
    size_t end = PathComponentEnd(fullPath, p);
    size_t n = end - p;
    const size_t parentLength = b.length;
    b.Append("/", 1);
    b.Append(fullPath + p, n);
    if (b.failed) return -1;
    PlatformDirEntry entry;
    if (os.FileStat(out, &entry) != 0) {
      out[parentLength] = 0;
      PlatformDir* dir = os.DirOpen(parentLength == 0 ? "/" : out);
      bool found = false;
      if (dir) {
        while (os.DirNext(dir, &entry)) {
          if (SameNameIgnoringCase(fullPath + p, n, entry.name)) {
            found = true;
            break;
          }
        }
        os.DirClose(dir);
      }
      if (!found) return -1;
      b.length = parentLength;
      b.Append("/", 1);
      b.Append(entry.name, strlen(entry.name));
      if (b.failed) return -1;
    }
    p = end;
    while (fullPath[p] == '\\') ++p;
  }
  return 0;
}

}  // namespace qx
