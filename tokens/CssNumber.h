#pragma once

#include <string>

// Number texts for the stylesheet. They never follow the C locale's decimal separator:
// the GTK program switches LC_NUMERIC to the user's locale, where printf would write
// "0,055" and break the CSS.
namespace tovarin::CssNumber {

// The shortest decimal that reads back as the same double, never in exponent form
// ("8", "0.085").
[[nodiscard]] std::string shortest(double value);

// A whole value as an integer, any other as printf's "%g" would write it ("13.5").
[[nodiscard]] std::string wholeOrGeneral(double value);

// Three decimals, as printf's "%.3f" would write it ("0.105").
[[nodiscard]] std::string threeDecimals(double value);

}  // namespace tovarin::CssNumber
