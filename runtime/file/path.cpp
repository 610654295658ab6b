#include "runtime/file/path.h"

#include <string.h>

#include "runtime/file/rpk.h"
#include "runtime/platform/platform.h"

namespace qx {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A lead byte takes the next byte as its second byte, except the end and "/",
// which no double-byte character contains.
bool StartsPair(const char* text, size_t i) {
  return IsShiftJisLead(static_cast<uint8_t>(text[i])) && text[i + 1] != 0 && text[i + 1] != '/';
}

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

// End of the component of a path given to FileOpen: "/" always separates,
// "\\" unless it is the second byte of a double-byte character.
size_t InputComponentEnd(const char* path, size_t p) {
  while (path[p] != 0 && !IsSeparator(path[p])) p += StartsPair(path, p) ? 2 : 1;
  return p;
}

}  // namespace

void UpperCasePath(char* text) {
  for (size_t i = 0; text[i] != 0; ++i) {
    if (StartsPair(text, i)) {
      ++i;
      continue;
    }
    text[i] = static_cast<char>(UpperByte(static_cast<uint8_t>(text[i])));
  }
}

bool HasEmptyComponent(const char* path) {
  size_t p = 0;
  while (IsSeparator(path[p])) ++p;
  while (path[p] != 0) {
    p = InputComponentEnd(path, p);
    if (path[p] == 0) return false;
    if (IsSeparator(path[p + 1])) return true;
    ++p;
  }
  return false;
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
    // The operating system's own path: only "/" separates.
    char current[kFilePathMax];
    if (Os().GetCurrentDirectory(current, sizeof(current)) != 0) return -1;
    for (const char* c = current; *c != 0;) {
      while (*c == '/') ++c;
      if (*c == 0) break;
      const char* end = strchr(c, '/');
      if (!end) end = c + strlen(c);
      out.Append("/", 1);
      out.Append(c, static_cast<size_t>(end - c));
      c = end;
    }
  }
  while (path[p] != 0) {
    size_t end = InputComponentEnd(path, p);
    size_t n = end - p;
    bool last = path[end] == 0;
    if (n == 0) {
      // "a//b" is "a/b"; a trailing separator adds nothing.
    } else if (!last && n == 1 && path[p] == '.') {
    } else if (!last && n == 2 && path[p] == '.' && path[p + 1] == '.') {
      const char* slash = strrchr(out.text, '/');
      out.length = slash ? static_cast<size_t>(slash - out.text) : 0;
      out.text[out.length] = 0;
    } else {
      out.Append("/", 1);
      out.Append(path + p, n);
    }
    p = end;
    while (IsSeparator(path[p])) ++p;
  }
  if (out.length == 0) out.Append("/", 1);
  if (out.failed) return -1;
  memcpy(upper, asWritten, out.length + 1);
  UpperCasePath(upper);
  for (char* c = upper; *c != 0; ++c) {
    if (*c == '/') *c = '\\';
  }
  return 0;
}

int ResolveDiskPath(const char* asWritten, char* out, size_t size) {
  const PlatformOsOps& os = Os();
  Builder b{out, size, 0, false};
  out[0] = 0;
  const char* c = asWritten;
  while (*c == '/') ++c;
  if (*c == 0) {
    b.Append("/", 1);
    return b.failed ? -1 : 0;
  }
  while (*c != 0) {
    const char* endPointer = strchr(c, '/');
    size_t n = endPointer ? static_cast<size_t>(endPointer - c) : strlen(c);
    const size_t parentLength = b.length;
    b.Append("/", 1);
    b.Append(c, n);
    if (b.failed) return -1;
    PlatformDirEntry entry;
    if (os.FileStat(out, &entry) != 0) {
      out[parentLength] = 0;
      PlatformDir* dir = os.DirOpen(parentLength == 0 ? "/" : out);
      bool found = false;
      if (dir) {
        while (os.DirNext(dir, &entry)) {
          if (SameNameIgnoringCase(c, n, entry.name)) {
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
    c += n;
    while (*c == '/') ++c;
  }
  return 0;
}

}  // namespace qx
