// The fractional part of pi as 32-bit words (most significant first), computed exactly with
// Machin's formula pi = 16 atan(1/5) - 4 atan(1/239) in fixed-point arithmetic. Blowfish's
// initial P-array and S-boxes are the first 18 + 4 * 256 of these words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

// Fixed-point number: word 0 is the integer part, the others the fraction, base 2^32.
using Fixed = std::vector<std::uint32_t>;

inline bool IsZero(const Fixed& x) {
  for (std::uint32_t w : x) {
    if (w != 0) return false;
  }
  return true;
}

inline void DivideBy(Fixed& x, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (std::uint32_t& w : x) {
    const std::uint64_t current = (remainder << 32) | w;
    w = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
}

inline void MultiplyBy(Fixed& x, std::uint32_t factor) {
  std::uint64_t carry = 0;
  for (std::size_t i = x.size(); i-- > 0;) {
    const std::uint64_t current = static_cast<std::uint64_t>(x[i]) * factor + carry;
    x[i] = static_cast<std::uint32_t>(current);
    carry = current >> 32;
  }
}

inline void AddTo(Fixed& x, const Fixed& y, bool subtract) {
  std::int64_t carry = 0;
  for (std::size_t i = x.size(); i-- > 0;) {
    std::int64_t current = static_cast<std::int64_t>(x[i]) + carry +
                           (subtract ? -static_cast<std::int64_t>(y[i]) : y[i]);
    carry = 0;
    if (current < 0) {
      current += std::int64_t{1} << 32;
      carry = -1;
    } else if (current >= (std::int64_t{1} << 32)) {
      current -= std::int64_t{1} << 32;
      carry = 1;
    }
    x[i] = static_cast<std::uint32_t>(current);
  }
}

// atan(1/x) = 1/x - 1/(3 x^3) + 1/(5 x^5) - ...
inline Fixed ArctanOfInverse(std::uint32_t x, std::size_t words) {
  Fixed power(words, 0);
  power[0] = 1;
  DivideBy(power, x);
  Fixed sum = power;
  for (std::uint32_t k = 1; !IsZero(power); ++k) {
    DivideBy(power, x * x);
    Fixed term = power;
    DivideBy(term, 2 * k + 1);
    AddTo(sum, term, k % 2 == 1);
  }
  return sum;
}

// The first count words of pi's fraction.
inline std::vector<std::uint32_t> PiFractionWords(std::size_t count) {
  const std::size_t words = count + 4;  // guard words absorb the truncation errors
  Fixed pi = ArctanOfInverse(5, words);
  MultiplyBy(pi, 16);
  Fixed second = ArctanOfInverse(239, words);
  MultiplyBy(second, 4);
  AddTo(pi, second, true);
  return std::vector<std::uint32_t>(pi.begin() + 1, pi.begin() + 1 + count);
}

}  // namespace testing_support
