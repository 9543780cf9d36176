# Every outside library is found here and exposed as an interface target, so that
# the heavy ones reach only the folders that implement our small interfaces.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Boost 1.81 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(GTest REQUIRED)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1)
pkg_check_modules(WEBKIT_WEBEXT REQUIRED IMPORTED_TARGET webkit2gtk-web-extension-4.1)
pkg_check_modules(APPINDICATOR IMPORTED_TARGET ayatana-appindicator3-0.1)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xscrnsaver xcb)
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse libpulse-simple)
pkg_check_modules(ESPEAK_NG REQUIRED IMPORTED_TARGET espeak-ng)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(OCR REQUIRED IMPORTED_TARGET tesseract lept libheif)
# The OpenMP runtime that Debian's libtesseract runs on (libgomp): the recogniser sets
# its own thread's OpenMP limits. Only the library; nothing of ours is built with OpenMP.
# Both reach only the recognition module, never the program.
find_package(OpenMP REQUIRED COMPONENTS CXX)

add_library(tovarin_deps_core INTERFACE)
target_link_libraries(tovarin_deps_core INTERFACE
  Threads::Threads Boost::headers nlohmann_json::nlohmann_json
  OpenSSL::Crypto ICU::uc ICU::i18n PkgConfig::SQLITE3)
target_compile_definitions(tovarin_deps_core INTERFACE
  BOOST_ASIO_NO_DEPRECATED BOOST_BEAST_USE_STD_STRING_VIEW)

add_library(tovarin_deps_linux INTERFACE)
target_link_libraries(tovarin_deps_linux INTERFACE PkgConfig::GIO PkgConfig::X11 ${CMAKE_DL_LIBS})

# The main loop on GLib, alone: the widget runs on it without the rest of the toolkit.
add_library(tovarin_deps_glib INTERFACE)
target_link_libraries(tovarin_deps_glib INTERFACE PkgConfig::GIO)

add_library(tovarin_deps_ocr INTERFACE)
target_link_libraries(tovarin_deps_ocr INTERFACE PkgConfig::OCR ${OpenMP_CXX_LIBRARIES})

# Resampling is plain arithmetic, so the portable voice core may use it; the sound
# server and the system voices stay with the Linux adapters.
add_library(tovarin_deps_voice INTERFACE)
target_link_libraries(tovarin_deps_voice INTERFACE PkgConfig::SOXR)

add_library(tovarin_deps_linux_audio INTERFACE)
target_link_libraries(tovarin_deps_linux_audio INTERFACE PkgConfig::PULSE PkgConfig::ESPEAK_NG PkgConfig::SNDFILE)

add_library(tovarin_deps_gtk INTERFACE)
target_link_libraries(tovarin_deps_gtk INTERFACE PkgConfig::GTK3 PkgConfig::WEBKIT PkgConfig::GIO)
if(APPINDICATOR_FOUND)
  target_link_libraries(tovarin_deps_gtk INTERFACE PkgConfig::APPINDICATOR)
  target_compile_definitions(tovarin_deps_gtk INTERFACE TOVARIN_HAVE_APPINDICATOR=1)
endif()
