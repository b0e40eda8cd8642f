// The lock files with which serial terminals and dial-out programs mark a tty as theirs:
// "LCK.." and the device's name below /dev, its slashes as underscores, in /var/lock, holding the
// owner's process id.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// The lock file that names the tty at Path.
std::string SerLockFileOf(const std::string &Path);

// The live process, other than this one, whose id LockFile holds; nothing when there is no such
// file, when it is not a plain file, or when it names no live process.
std::optional<pid_t> SerLockOwner(const std::string &LockFile);
