#pragma once
// The hidden temporaries an output is written under before it is renamed
// onto its target: ".NAME.HOST-PID.XXXXXX" in the target's folder, held
// under an exclusive flock by the process that writes it. A writer killed
// before it could rename (SIGKILL, a power cut) leaves its temporary; it
// is stale once that writer is gone: made on this host, its process no
// longer running, and its lock free. A live writer's temporary, or one
// whose writer cannot be told gone (another host, a file system without
// locks, a name of another form), is never taken for stale.

#include <string>
#include <vector>

namespace ebsim {

// The mkostemp pattern for a temporary of `target` (a path whose symlinks
// are followed), in its folder; the plain ".NAME.XXXXXX" when the name
// would be too long to carry the host and process.
std::string TemporaryPattern(const std::string& target);

// Takes the lock that tells others the temporary open at `fd` is being
// written; returns a descriptor that holds it (close it to release it), or
// -1 when the file system takes no locks.
int LockTemporary(int fd);

// The temporaries of `target` left by writers that are gone, largest first.
std::vector<std::string> StaleTemporaries(const std::string& target);

// Removes them; returns the paths removed.
std::vector<std::string> RemoveStaleTemporaries(const std::string& target);

}  // namespace ebsim
