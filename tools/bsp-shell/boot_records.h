// The reference host's boot records: where the library's checksummed view lives, and the
// "this boot is good" action that clears the loader's boot-attempt count.
#pragma once

namespace bsp::host {

// Points the library's g_pstBootParaFlag and g_u32SearchPktCnt at the host's records: inside
// /mnt/flash/.bootMem.dat, apart from the loader's counters, when the file is there; otherwise
// at records in process memory.
void point_boot_records(void *lib);

// Clears the loader's boot-attempt count in /mnt/flash/.bootMem.dat. Without it, every fourth
// boot rolls back. A missing file has no count to clear. False when the file could not be written.
bool mark_boot_good();

}  // namespace bsp::host
