#include "run/param_reader.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace plovanet {

namespace {

int peek(ParamReader& in) {
  if (in.pos == in.len) {
    in.len = in.infp != nullptr ? std::fread(in.buf, 1, sizeof in.buf, in.infp) : 0;
    in.pos = 0;
    if (in.len == 0) {
      if (in.infp != nullptr && std::ferror(in.infp) != 0) in.error = true;
      return EOF;
    }
  }
  return static_cast<unsigned char>(in.buf[in.pos]);
}

void skipSpace(ParamReader& in) {
  for (int c = peek(in); c == ' ' || (c >= '\t' && c <= '\r'); c = peek(in)) {
    if (c == '\n') ++in.line;
    ++in.pos;
  }
}

bool isDigit(int c) {
  return c >= '0' && c <= '9';
}

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// The word a comma stands in, such as 0,8, with a point instead: one comma between digits, as a
// locale with a decimal comma writes a value; empty for any other word, or one the buffer cuts.
std::string decimalComma(const ParamReader& in) {
  const char* b = in.buf;
  std::size_t from = in.pos, to = in.pos + 1;
  while (from > 0 && isDigit(b[from - 1])) --from;
  while (to < in.len && isDigit(b[to])) ++to;
  const bool ends = to < in.len ? isSpace(b[to]) : in.len < sizeof in.buf;  // a short read: the file's end
  if (from == in.pos || to == in.pos + 1 || from == 0 || !ends) return {};
  std::size_t start = from;
  if (b[start - 1] == '-' || b[start - 1] == '+') --start;
  if (start > 0 && !isSpace(b[start - 1])) return {};
  return std::string(b + start, in.pos - start) + "." + std::string(b + in.pos + 1, to - in.pos - 1);
}

// Notes the first failed read; the value read, if any, passes through.
template <class T>
std::optional<T> counted(ParamReader& in, std::optional<T> v) {
  if (v) {
    ++in.reads;
    if (in.runs.empty() || in.runs.back().line != in.line) {
      in.runs.push_back({in.line, 1});
    } else {
      ++in.runs.back().values;
    }
  } else if (!in.failed) {
    in.failed = true;
    in.stopChar = in.tokenChar;  // a sign or point it took is what stopped it, not what follows
    in.stopLine = in.line;
    if (in.tokenChar == ',' && in.pos < in.len) in.decimal = decimalComma(in);
  }
  return v;
}

// Significant digits kept of one token. Beyond 800 a double's rounding cannot change, except
// through whether anything nonzero follows, which a final sticky digit records.
constexpr std::size_t kKeep = 800;

}  // namespace

static std::optional<int> readIntRaw(ParamReader& in) {
  skipSpace(in);
  in.tokenChar = peek(in);
  int c = peek(in);
  bool neg = false;
  if (c == '+' || c == '-') {
    neg = c == '-';
    ++in.pos;
    c = peek(in);
  }
  if (!isDigit(c)) return std::nullopt;
  long long v = 0;
  bool big = false;
  for (; isDigit(c); c = peek(in)) {
    ++in.pos;
    if (!big) v = v * 10 + (c - '0');
    if (v > 2147483648LL) big = true;
  }
  if (neg) v = -v;
  if (big || v > 2147483647LL || v < -2147483648LL) return std::nullopt;
  return static_cast<int>(v);
}

namespace {

// A decimal token as read so far: its sign and kept digits, and the power of ten they are
// scaled by.
struct Mantissa {
  std::string t;  // normalised token: sign, kept digits; then "e" and the decimal exponent
  std::size_t kept = 0;
  long long exp10 = 0;
  bool anyDigit = false, dropped = false, seenPoint = false;
};

void addDigit(Mantissa& m, int c) {
  m.anyDigit = true;
  if (m.kept == 0 && c == '0') {
    if (m.seenPoint) --m.exp10;  // leading zeros after the point only shift the scale
  } else if (m.kept < kKeep) {
    m.t += static_cast<char>(c);
    ++m.kept;
    if (m.seenPoint) --m.exp10;
  } else {
    if (c != '0') m.dropped = true;
    if (!m.seenPoint) ++m.exp10;
  }
}

// The exponent after its letter, which in stands on. It counts only with digits; like scanf,
// its letter and sign are consumed anyway.
long long readExponent(ParamReader& in) {
  ++in.pos;
  int c = peek(in);
  bool eneg = false;
  if (c == '+' || c == '-') {
    eneg = c == '-';
    ++in.pos;
    c = peek(in);
  }
  long long e = 0;
  for (; isDigit(c); c = peek(in)) {
    ++in.pos;
    if (e < 100000000) e = e * 10 + (c - '0');
  }
  return eneg ? -e : e;
}

}  // namespace

static std::optional<double> readRealRaw(ParamReader& in) {
  skipSpace(in);
  in.tokenChar = peek(in);
  Mantissa m;
  int c = peek(in);
  if (c == '+' || c == '-') {
    if (c == '-') m.t += '-';
    ++in.pos;
    c = peek(in);
  }
  for (; isDigit(c) || (c == '.' && !m.seenPoint); c = peek(in)) {
    if (c == '.') {
      m.seenPoint = true;
    } else {
      addDigit(m, c);
    }
    ++in.pos;
  }
  if (!m.anyDigit) return std::nullopt;
  if (c == 'e' || c == 'E') m.exp10 += readExponent(in);
  if (m.kept == 0) return m.t.empty() ? 0.0 : -0.0;
  if (m.dropped) {
    m.t += '1';
    --m.exp10;
  }
  m.t += 'e';
  m.t += std::to_string(m.exp10);
  return std::strtod(m.t.c_str(), nullptr);
}

std::optional<int> readInt(ParamReader& in) {
  return counted(in, readIntRaw(in));
}

std::optional<double> readReal(ParamReader& in) {
  return counted(in, readRealRaw(in));
}

namespace {

// Reads count values; a failed read keeps what the element held before.
void readVector(ParamReader& in, std::vector<double>& v, int count) {
  for (int i = 0; i < count; ++i) {
    if (const auto x = readReal(in)) v[static_cast<std::size_t>(i)] = *x;
  }
}

}  // namespace

int vectorCounts(int nper, Recruit recruit, int (&counts)[kMaxVectors]) {
  const int each[kMaxVectors] = {nper, nper - 1, nper - 1, nper, nper, nper - 1, nper - 1};
  std::copy(each, each + kMaxVectors, counts);
  return recruit == Recruit::normal ? 7 : recruit == Recruit::binomial ? 6 : 5;
}

namespace {

// Values on the rest of the current line, without reading them; empty when the line does not fit
// in the buffer.
std::optional<int> restOfLine(ParamReader& in) {
  int values = 0;
  bool inValue = false;
  for (std::size_t i = in.pos;; ++i) {
    if (i == in.len) {
      if (in.len - in.pos == sizeof in.buf) return std::nullopt;
      if (in.infp == nullptr) return values;
      // Keep the unread part at the front and read more behind it.
      std::memmove(in.buf, in.buf + in.pos, in.len - in.pos);
      in.len -= in.pos;
      i -= in.pos;
      in.pos = 0;
      const std::size_t got = std::fread(in.buf + in.len, 1, sizeof in.buf - in.len, in.infp);
      if (got == 0) return values;  // the end of the file ends the line
      in.len += got;
    }
    const char c = in.buf[i];
    if (c == '\n') return values;
    const bool space = c == ' ' || (c >= '\t' && c <= '\r');
    // Only what may begin a number counts: a trailing word stops reading anyway.
    if (!space && !inValue && (isDigit(c) || c == '-' || c == '+' || c == '.')) ++values;
    inValue = !space;
  }
}

}  // namespace

std::optional<Miscount> findMiscount(ParamReader& in, int nper, Recruit recruit) {
  if (in.failed || in.runs.empty()) return std::nullopt;
  int counts[kMaxVectors];
  const int vectors = vectorCounts(nper, recruit, counts);
  int lineOf[kMaxVectors];  // vectors with values, in order: an empty one has no line
  int withValues = 0;
  for (int v = 0; v < vectors; ++v) {
    if (counts[v] > 0) lineOf[withValues++] = v;
  }
  std::vector<ParamReader::LineRun> lines = in.runs;
  if (lines.size() < static_cast<std::size_t>(withValues)) return std::nullopt;
  // The last line may go on into the next data set (a line with extra values).
  const auto rest = restOfLine(in);
  if (!rest) return std::nullopt;
  lines.back().values += *rest;
  std::optional<Miscount> found;
  for (int i = 0; i < withValues; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (lines[at].values == counts[lineOf[i]]) continue;
    if (found) return std::nullopt;  // two lines off: not this layout
    found =
        Miscount{lines[at].line, lineOf[i], lines[at].values, at + 1 < lines.size() ? lines[at + 1].line : 0};
  }
  return found;
}

std::optional<DataSet> readDataSet(ParamReader& in, const DataSet& previous, int nper, Recruit recruit) {
  in.runs.clear();
  DataSet d = previous;
  double sum = 0;
  for (int k = 0; k < nper; ++k) {
    const auto x = readReal(in);
    if (!x) return std::nullopt;
    d.n[static_cast<std::size_t>(k)] = *x;
    sum += *x;
  }
  if (sum <= 0) return std::nullopt;
  readVector(in, d.sa, nper - 1);
  readVector(in, d.th, nper - 1);
  readVector(in, d.pa, nper);
  readVector(in, d.p2, nper);
  if (recruit != Recruit::none) readVector(in, d.f, nper - 1);
  if (recruit == Recruit::normal) readVector(in, d.sef, nper - 1);
  return d;
}

int peekToken(ParamReader& in) {
  skipSpace(in);
  return peek(in);
}

TextMark skipMark(ParamReader& in) {
  const int c = peekToken(in);
  if (c != 0xEF && c != 0xFF && c != 0xFE) return TextMark::none;
  const std::string_view rest(in.buf + in.pos, in.len - in.pos);
  if (rest.starts_with("\xEF\xBB\xBF")) {
    in.pos += 3;
    return TextMark::utf8;
  }
  if (rest.starts_with("\xFF\xFE") || rest.starts_with("\xFE\xFF")) return TextMark::utf16;
  return TextMark::none;
}

}  // namespace plovanet
