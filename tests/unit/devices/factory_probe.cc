// A host process that changes the factory record while other processes do: it starts the
// storage layers as a root does, then runs one command.
//   hold-success COUNT DIR  BSP_SetSuccessCount, its clock read marking DIR/held and waiting
//                           for DIR/go, then a little longer, inside the update
//   delay HOURS DIR         marks DIR/go, then BSP_SetDelayTime
//   loop-success N          BSP_SetSuccessCount(1) to (N)
//   loop-delay N            BSP_SetDelayTime(1) to (N)
// Results are printed on lines beginning with "@@".
#include <bsp/crc.h>
#include <bsp/factory.h>
#include <bsp/flash.h>
#include <bsp/osadapt.h>
#include <bsp/pieces.h>
#include <fcntl.h>
#include <npth.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

const char kFlashFile[] = "/mnt/misc/flashfile";
std::string g_dir;

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }
void mark(const std::string &path) { close(open(path.c_str(), O_CREAT | O_WRONLY, 0644)); }

// 1 June 2024, 08:00:00.
uint32_t fixed_clock(St85TimeBIN *t) {
  t->cYear = 24;
  t->cMonth = 6;
  t->cDayOfMonth = 1;
  t->cHour = 8;
  return 0;
}

uint32_t holding_clock(St85TimeBIN *t) {
  mark(g_dir + "/held");
  for (int i = 0; i < 60000 && !exists(g_dir + "/go"); ++i) BSP_taskDelay(1);
  BSP_taskDelay(300);  // time for the other process to reach its own update
  return fixed_clock(t);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  npth_init();
  BSP_CrcInit();
  FLASH_InitFlashDrv();
  FLASH_CreateFlashFile(const_cast<char *>(kFlashFile), 0x480000);
  BSP_VfsPiecesConfig(0x80000, 0x100000);
  if (BSP_VfsPiecesInit() != 0) return 3;
  BSP_Set_GetTimeHook(fixed_clock);
  const std::string verb = argv[1];
  const uint32_t value = static_cast<uint32_t>(strtoul(argv[2], nullptr, 0));
  if (argc > 3) g_dir = argv[3];
  uint32_t rc = 0;
  if (verb == "hold-success") {
    BSP_Set_GetTimeHook(holding_clock);
    rc = BSP_SetSuccessCount(value);
  } else if (verb == "delay") {
    mark(g_dir + "/go");
    rc = BSP_SetDelayTime(value);
  } else if (verb == "loop-success") {
    for (uint32_t i = 1; i <= value; ++i) rc |= BSP_SetSuccessCount(i);
  } else if (verb == "loop-delay") {
    for (uint32_t i = 1; i <= value; ++i) rc |= BSP_SetDelayTime(i);
  } else {
    return 2;
  }
  printf("@@%s rc=%u\n", verb.c_str(), rc);
  return 0;
}
