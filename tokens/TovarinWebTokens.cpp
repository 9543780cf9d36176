#include "tokens/TovarinWebTokens.h"

#include <array>
#include <utility>

#include "tokens/CssNumber.h"
#include "tokens/TovarinColors.h"
#include "tokens/TovarinDimensions.h"

namespace tovarin::TovarinWebTokens {
namespace {

using NamedColor = std::pair<std::string_view, const TovarinColorToken*>;

// The colours a page can read, in the order the stylesheet declares them.
const std::array<NamedColor, 14> colorProperties = {{
    {"bg", &TovarinGround::base},
    {"surface", &TovarinGround::surface},
    {"surface-hover", &TovarinGround::surfaceHover},
    {"text", &TovarinInk::primary},
    {"text-muted", &TovarinInk::muted},
    {"text-faint", &TovarinInk::faint},
    {"border", &TovarinLine::border},
    {"hairline", &TovarinLine::hairline},
    {"accent", &TovarinAccent::base},
    {"accent-hover", &TovarinAccent::hover},
    {"accent-text", &TovarinAccent::text},
    {"accent-soft", &TovarinAccent::soft},
    {"accent-ink", &TovarinAccent::ink},
    {"danger", &TovarinSignal::danger},
}};

void appendColors(std::string& css, TovarinColorToken::Scheme scheme) {
  for (const auto& [name, token] : colorProperties) {
    css += "--";
    css += name;
    css += ":";
    css += TovarinColorToken::cssText(token->channels(scheme));
    css += ";";
  }
}

void appendFontSizes(std::string& css) {
  const std::pair<std::string_view, double> sizes[] = {
      {"micro", TovarinType::micro}, {"tiny", TovarinType::tiny},   {"small", TovarinType::small},
      {"body", TovarinType::body},   {"lead", TovarinType::lead},   {"title", TovarinType::title},
  };
  for (const auto& [name, size] : sizes) {
    css += "--fs-";
    css += name;
    css += ":" + CssNumber::wholeOrGeneral(size) + "px;";
  }
}

void appendShapeAndMotion(std::string& css) {
  struct Property {
    std::string_view name;
    double value;
    std::string_view unit;
  };
  const Property properties[] = {
      {"radius-sm", TovarinRadius::sm, "px"},
      {"radius", TovarinRadius::base, "px"},
      {"radius-lg", TovarinRadius::lg, "px"},
      {"tracking-caps", TovarinType::trackingCaps, "em"},
      {"dur-press", TovarinMotion::press, "s"},
      {"dur-fast", TovarinMotion::fast, "s"},
      {"dur", TovarinMotion::base, "s"},
  };
  for (const auto& property : properties) {
    css += "--";
    css += property.name;
    css += ":" + CssNumber::shortest(property.value);
    css += property.unit;
    css += ";";
  }
  css += "--ease:";
  css += TovarinMotion::easeCSS;
}

std::string buildCss() {
  std::string css = ":root{color-scheme:light dark;";
  appendColors(css, TovarinColorToken::Scheme::light);
  appendFontSizes(css);
  appendShapeAndMotion(css);
  css +=
      ";--font-sans:-apple-system,BlinkMacSystemFont,\"PingFang SC\",\"Helvetica Neue\","
      "Helvetica,sans-serif}\n"
      "@media (prefers-color-scheme:dark){:root{";
  appendColors(css, TovarinColorToken::Scheme::dark);
  css += "}}\n*,*::before,*::after{box-sizing:border-box}\nhtml,body{margin:0;height:100%}\nbody{font:";
  css += CssNumber::wholeOrGeneral(TovarinType::small);
  css +=
      "px/1.6 var(--font-sans);color:var(--text);background:var(--bg);\n"
      "     -webkit-font-smoothing:antialiased;text-rendering:optimizeLegibility;\n"
      "     display:flex;flex-direction:column;align-items:center;justify-content:center;"
      "text-align:center}\n"
      "html.is-native body{background:transparent}\n"
      ".mark{display:block}\n"
      "@media (prefers-reduced-motion:reduce){\n"
      "  *,*::before,*::after{animation-duration:.001ms!important;"
      "animation-iteration-count:1!important;\n"
      "                       transition-duration:.001ms!important}\n"
      "}";
  return css;
}

}  // namespace

const std::string& css() {
  static const std::string text = buildCss();
  return text;
}

}  // namespace tovarin::TovarinWebTokens
