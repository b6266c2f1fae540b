// Fixed-format and free-format output of the model.
//
// Fixed-format fields, as the model's lines use them:
//   I(v, w)     integer right-justified in w columns, blank-filled
//   I0(v, w)    integer in w columns with leading zeros
//   F(v, w, d)  fixed-point, w columns, d decimals
//   E(v, w, d)  exponent form, one digit before the point and a signed
//               two-digit exponent (1.25E-03), w columns, d decimals
//   A(s, w)     text in w characters (cut or blank-padded on the right)
// A number too wide for its field fills the field with asterisks; a value that
// is not a number is written as NaN, right-justified in its field.
//
// Free format (list-directed lines): every item is written after one blank:
// texts as they stand, integers in their shortest decimal form, doubles in the
// shortest form that reads back to the same value (at most 17 significant
// digits, exponent form outside 1e-4..1e16). So
//   Line() << "mxit,itf,days" << 10 << 0 << 0.0
// gives " mxit,itf,days 10 0 0".
#pragma once

#include <cstdint>
#include <string>

namespace hc::fmt {

std::string I(long long v, int w);
std::string I0(long long v, int w);
std::string F(double v, int w, int d);
std::string E(double v, int w, int d);
std::string A(const std::string& s, int w);

// The free-format form of one item (without the leading blank).
std::string free_item(double v);
std::string free_item(long long v);

// A free-format line under construction.
class Line {
public:
    Line& operator<<(const std::string& s);
    Line& operator<<(const char* s);
    Line& operator<<(double v);
    Line& operator<<(float v) { return *this << double(v); }
    Line& operator<<(int v) { return *this << static_cast<long long>(v); }
    Line& operator<<(long v) { return *this << static_cast<long long>(v); }
    Line& operator<<(long long v);
    Line& operator<<(short v) { return *this << static_cast<long long>(v); }
    Line& operator<<(bool v) { return *this << (v ? "T" : "F"); }
    const std::string& str() const { return s_; }

private:
    std::string s_;
};

// Writes a line (adds the newline) to standard output and flushes it.
void out(const std::string& line);

}  // namespace hc::fmt
