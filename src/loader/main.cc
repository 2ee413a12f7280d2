// bootloader: runs once at every boot, chooses and mounts the startup package.
#include <stdio.h>

#include "loader/loader.h"

int main() {
  printf("\r\n Bootloader creation Data : %s, %s\r\n", __DATE__, __TIME__);
  Boot_Init();
  if (Boot_AutoStartSystemfromCC() != 0) {
    Boot_Record_Error("Auto Start System Return Fail\r\n");
    Boot_StopRun();
  }
  fflush(stdout);
  return 0;
}
