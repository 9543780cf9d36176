#pragma once

namespace tovarin {

// Whether the encrypted store can read and write.
enum class ActivityStoreState {
  absent,      // no database, or one with no key and no records
  ready,       // a key was loaded and opened the key check
  keyMissing,  // records exist but no usable key does
  keyLocked,   // the key store refused or failed to hand out the key
};

}  // namespace tovarin
