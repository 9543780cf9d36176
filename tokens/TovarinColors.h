#pragma once

#include "tokens/TovarinColorToken.h"

// The colour tokens. Written as the hex of their CSS text so that they read against the
// design table; constant-initialised, so any thread may read them at any time.
namespace tovarin {

namespace TovarinInk {
inline constexpr TovarinColorToken primary{rgb255(0x18, 0x1b, 0x25), rgb255(0xf0, 0xf1, 0xf5)};
inline constexpr TovarinColorToken muted{rgb255(0x46, 0x4a, 0x58), rgb255(0xbf, 0xc1, 0xca)};
inline constexpr TovarinColorToken faint{rgb255(0x5d, 0x60, 0x6f), rgb255(0x99, 0x9c, 0xa8)};
}  // namespace TovarinInk

namespace TovarinGround {
inline constexpr TovarinColorToken base{rgb255(0xf4, 0xf5, 0xf8), rgb255(0x12, 0x13, 0x17)};
inline constexpr TovarinColorToken surface{rgb255(0xfd, 0xfd, 0xfe), rgb255(0x1c, 0x1e, 0x23)};
inline constexpr TovarinColorToken surfaceHover{rgb255(0xef, 0xf0, 0xf5),
                                                rgb255(0x2d, 0x2f, 0x37)};
}  // namespace TovarinGround

namespace TovarinLine {
inline constexpr TovarinColorToken hairline{rgb255(67, 73, 96, 0.055), rgb255(198, 202, 221, 0.085)};
inline constexpr TovarinColorToken border{rgb255(63, 68, 90, 0.105), rgb255(205, 209, 223, 0.14)};
}  // namespace TovarinLine

namespace TovarinAccent {
inline constexpr TovarinColorToken base{rgb255(0x27, 0x43, 0xbe), rgb255(0x67, 0x7d, 0xe0)};
inline constexpr TovarinColorToken hover{rgb255(0x22, 0x3a, 0xa5), rgb255(0x4d, 0x67, 0xdb)};
inline constexpr TovarinColorToken text{rgb255(0xff, 0xff, 0xff), rgb255(0x0e, 0x12, 0x25)};
inline constexpr TovarinColorToken soft{rgb255(39, 67, 190, 0.1), rgb255(103, 125, 224, 0.2)};
inline constexpr TovarinColorToken ink{rgb255(0x23, 0x3b, 0xa9), rgb255(0xa9, 0xb4, 0xe5)};
}  // namespace TovarinAccent

namespace TovarinSignal {
inline constexpr TovarinColorToken danger{rgb255(0xc3, 0x37, 0x2a), rgb255(0xff, 0x7a, 0x6b)};
inline constexpr TovarinColorToken warning{rgb255(0x8d, 0x5e, 0x07), rgb255(0xe8, 0xae, 0x45)};
inline constexpr TovarinColorToken today{rgb255(0xc8, 0x38, 0x2a), rgb255(0xff, 0x6f, 0x5e)};
}  // namespace TovarinSignal

namespace TovarinBrand {
inline constexpr TovarinColorToken mark{rgb255(0xc6, 0x45, 0x32)};
}  // namespace TovarinBrand

// Seed colours of the calendars the server creates first; the same in both appearances.
namespace TovarinSeedCalendar {
inline constexpr TovarinColorToken personal{rgb255(0x1e, 0x4f, 0xd8)};
inline constexpr TovarinColorToken work{rgb255(0xd1, 0x36, 0x2f)};
inline constexpr TovarinColorToken health{rgb255(0x2f, 0x7d, 0x4f)};
}  // namespace TovarinSeedCalendar

}  // namespace tovarin
