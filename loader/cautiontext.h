// The caution shown before a download, in the caution dialog and on the command line: what to
// check, then what to do so that the unit's boot loader listens when the run starts.
#pragma once

inline constexpr const char *CautionTitle = "Zarnell Settings Update";
inline constexpr const char *CautionHeading = "**** CAUTION ****";
inline constexpr const char *CautionOneDongle = "Ensure only one dongle is connected to PC";
inline constexpr const char *CautionNoOtherDevices = "Make sure no other devices are powered";
inline constexpr const char *CautionCancelToRemove =
    "Cancel update if dongle needs to be removed and restart";
inline constexpr const char *ProceedHeading = "To Proceed with Update";
inline constexpr const char *ProceedApplyPower = "Apply Power to Zarnell";
inline constexpr const char *ProceedPressReset = "Press Reset on ZN and then Press OK";
