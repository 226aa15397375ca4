#pragma once
// The value types an INI store can bind, their names in the store's report
// lines, and the conversions between a variable and its text in the file.
//
// Text to value: the whole text must convert (boost::lexical_cast), integers
// are plain decimal with an optional sign (no sign for unsigned types), a char
// is exactly one character and a bool is "1" or "0". On failure the variable
// is left unchanged.
// Value to text: the lexical_cast form, so a double has 17 significant digits
// (0.03 -> "0.029999999999999999", 7.0 -> "7") and a float 9; a long double
// is written with 17 digits as well, the same as a double.

#include <boost/lexical_cast.hpp>
#include <ios>
#include <limits>
#include <sstream>
#include <string>
#include <type_traits>
#include <variant>

namespace tessaline {

// A non-owning pointer to a bound variable; monostate for an entry that was
// read from a file but that nobody registered. A double* variable is only
// reported on load, never assigned.
using IniTarget = std::variant<std::monostate, float*, double*, double**, long double*, int*,
                               unsigned int*, short*, unsigned short*, long*, unsigned long*,
                               std::string*, char*, unsigned char*, bool*>;

template <typename T, typename Variant>
struct IsIniAlternative;
template <typename T, typename... Types>
struct IsIniAlternative<T, std::variant<Types...>>
    : std::bool_constant<(std::is_same_v<T, Types> || ...)> {};

// True for the types a store can bind.
template <typename T>
inline constexpr bool kIsIniValue = IsIniAlternative<T*, IniTarget>::value;

// The type's name as the report line shows it: " (" + name + " : ".
template <typename T>
inline constexpr const char* kIniTypeName = nullptr;
template <>
inline constexpr const char* kIniTypeName<float> = "float";
template <>
inline constexpr const char* kIniTypeName<double> = "double";
template <>
inline constexpr const char* kIniTypeName<double*> = "double*";
template <>
inline constexpr const char* kIniTypeName<long double> = "long double";
template <>
inline constexpr const char* kIniTypeName<int> = "int";
template <>
inline constexpr const char* kIniTypeName<unsigned int> = "unsigned int";
template <>
inline constexpr const char* kIniTypeName<short> = "short";
template <>
inline constexpr const char* kIniTypeName<unsigned short> = "unsigned short";
template <>
inline constexpr const char* kIniTypeName<long> = "long";
template <>
inline constexpr const char* kIniTypeName<unsigned long> = "unsigned long";
template <>
inline constexpr const char* kIniTypeName<std::string> = "string";
template <>
inline constexpr const char* kIniTypeName<char> = "char";
template <>
inline constexpr const char* kIniTypeName<unsigned char> = "unsigned char";
template <>
inline constexpr const char* kIniTypeName<bool> = "bool";

template <typename T>
inline constexpr bool kIsIniCharacter = std::is_same_v<T, char> || std::is_same_v<T, unsigned char>;

// Converts `text` to a T and stores it in *out; false (and *out untouched)
// when the text is not a valid T.
template <typename T>
bool IniFromText(const std::string& text, T* out) {
  if constexpr (std::is_same_v<T, std::string>) {
    *out = text;
    return true;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (text != "1" && text != "0") return false;
    *out = text == "1";
    return true;
  } else if constexpr (kIsIniCharacter<T>) {
    if (text.size() != 1) return false;
    *out = static_cast<T>(text[0]);
    return true;
  } else if constexpr (std::is_integral_v<T> && sizeof(T) < sizeof(int)) {
    // boost's own parser multiplies short digits in int and overflows (undefined
    // behaviour) on texts like "*11111"; go through long and check the range.
    long wide = 0;
    if (!IniFromText(text, &wide)) return false;
    if (std::is_unsigned_v<T> && !text.empty() && text[0] == '-') return false;
    if (wide < static_cast<long>(std::numeric_limits<T>::min()) ||
        wide > static_cast<long>(std::numeric_limits<T>::max()))
      return false;
    *out = static_cast<T>(wide);
    return true;
  } else {
    // lexical_cast wraps "-1" round for unsigned types; refuse the sign.
    if (std::is_unsigned_v<T> && !text.empty() && text[0] == '-') return false;
    try {
      *out = boost::lexical_cast<T>(text);
      return true;
    } catch (const boost::bad_lexical_cast&) {
      return false;
    }
  }
}

// The text that Save writes for `value`.
template <typename T>
std::string IniToText(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return value;
  } else if constexpr (std::is_same_v<T, bool>) {
    return value ? "1" : "0";
  } else if constexpr (kIsIniCharacter<T>) {
    return std::string(1, static_cast<char>(value));
  } else if constexpr (std::is_same_v<T, long double>) {
    // lexical_cast would give 21 digits here; the files keep a double's 17.
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
  } else {
    return boost::lexical_cast<std::string>(value);
  }
}

}  // namespace tessaline
