#include "util/format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hc::fmt {

namespace {

std::string fit(const std::string& s, int w) {
    if (w <= 0) return s;
    if (static_cast<int>(s.size()) > w) return std::string(w, '*');
    return std::string(w - s.size(), ' ') + s;
}

// NaN and infinities in a field of w columns.
bool special(double v, int w, std::string& out) {
    if (std::isnan(v)) {
        out = fit("NaN", w);
        return true;
    }
    if (std::isinf(v)) {
        out = fit(v > 0 ? "Infinity" : "-Infinity", w);
        if (out[0] == '*') out = fit(v > 0 ? "Inf" : "-Inf", w);
        return true;
    }
    return false;
}

}  // namespace

std::string I(long long v, int w) { return fit(std::to_string(v), w); }

std::string I0(long long v, int w) {
    std::string digits = std::to_string(v < 0 ? -v : v);
    int room = w - (v < 0 ? 1 : 0);
    if (static_cast<int>(digits.size()) > room) return std::string(w, '*');
    digits = std::string(room - digits.size(), '0') + digits;
    return v < 0 ? "-" + digits : digits;
}

std::string F(double v, int w, int d) {
    std::string s;
    if (special(v, w, s)) return s;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", d, v);
    s = buf;
    if (s == "-" + std::string("0.") + std::string(d, '0')) s = s.substr(1);  // no negative zero
    return fit(s, w);
}

std::string E(double v, int w, int d) {
    std::string s;
    if (special(v, w, s)) return s;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*E", d, v);
    s = buf;
    // A three-digit exponent (|v| >= 1e100 or < 1e-99) keeps its sign and digits.
    return fit(s, w);
}

std::string A(const std::string& s, int w) {
    if (static_cast<int>(s.size()) >= w) return s.substr(0, w);
    return s + std::string(w - s.size(), ' ');
}

std::string free_item(long long v) { return std::to_string(v); }

std::string free_item(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    if (v == 0.0) return std::signbit(v) ? "-0" : "0";
    char buf[64];
    double a = std::fabs(v);
    bool expo = a < 1e-4 || a >= 1e16;
    if (expo) {
        for (int p = 0; p <= 16; ++p) {
            std::snprintf(buf, sizeof buf, "%.*E", p, v);
            if (std::strtod(buf, nullptr) == v) break;
        }
    } else {
        // Fixed-point with the fewest decimals that read back to the same value.
        for (int d = 0; d <= 24; ++d) {
            std::snprintf(buf, sizeof buf, "%.*f", d, v);
            if (std::strtod(buf, nullptr) == v) break;
        }
    }
    return buf;
}

Line& Line::operator<<(const std::string& s) {
    s_ += ' ';
    s_ += s;
    return *this;
}
Line& Line::operator<<(const char* s) { return *this << std::string(s); }
Line& Line::operator<<(double v) { return *this << free_item(v); }
Line& Line::operator<<(long long v) { return *this << free_item(v); }

void out(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace hc::fmt
