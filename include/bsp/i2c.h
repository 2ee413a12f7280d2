/* I2C bus registry (the host's bus and device arrays, with their drivers) and the EEPROM layer
   that reaches board EEPROMs by slot number. */
#ifndef BSP_I2C_H
#define BSP_I2C_H

#include <bsp/bsp_types.h>

BSP_BEGIN_DECLS

struct tagIicBus;
struct tagIicDev;

/* A bus's driver table, filled by the host; a null function skips its step (a null pRead or
   pWrite fails the transfer). Results of 0 mean success. */
typedef struct tagIicBusFunc {
  uint32_t (*pInit)(struct tagIicBus *pBus);
  uint32_t (*pSetClock)(struct tagIicBus *pBus, uint32_t u32Freq);
  uint32_t (*pSelectBus)(uint32_t u32SubBusId);
  uint32_t (*pRead)(struct tagIicDev *pDev, uint32_t u32Offset, uint8_t *pucDst, uint32_t u32Len);
  uint32_t (*pWrite)(struct tagIicDev *pDev, uint32_t u32Offset, uint8_t *pucSrc, uint32_t u32Len);
  uint32_t (*pUnlock)(struct tagIicDev *pDev, uint32_t u32BusId);
} IIC_BUS_FUNC_S;

/* One bus; an entry with a null pstIicBusFunc ends the host's bus array. */
typedef struct tagIicBus {
  IIC_BUS_FUNC_S *pstIicBusFunc;
  void *pPriveData;
  uint32_t u32IicBusId;
  uint32_t u32PhyBusId;
  uint32_t u32IicBusFreq;
  uint32_t u32TaskId; /* the thread holding the bus, 0 when free */
  void *semBus;
  int32_t i2c_fd;
  const char *pI2cBusName;
  const char *pI2cBus_DevName;
  uint32_t u32GpioClock;
  uint32_t u32GpioData;
} IIC_BUS_S;

/* One device; an entry with a null name ends the host's device array. */
typedef struct tagIicDev {
  const char *pcIicDevName;
  uint32_t u32IicDevId; /* its index, set by I2CBUS_Init */
  uint32_t u32IicBusId; /* index of its bus in the bus array */
  IIC_BUS_S *pstIIC_BUS_S;
  uint32_t u32IicSubBusId;
  uint32_t u32IicDevFreq; /* 0: the bus's clock */
  uint32_t u32IicDevAddr;
  uint32_t u32IicDevAddrWidth;
  uint32_t u32IicDevSize;
  uint32_t u32IicDevPageSize; /* write page in bytes, 0 for no paging */
  uint32_t u32I2cDevDataWidth;
  uint32_t u32IicNoWriteWait;
} IIC_DEV_S;

BSP_API extern IIC_BUS_S *g_stIicBusList;
BSP_API extern IIC_DEV_S *g_stIicDevList;
BSP_API extern uint32_t g_u32IicBusNumber;
BSP_API extern uint32_t g_u32IicDevNumber;
/* Transfers that failed even after the bus recovery. */
BSP_API extern uint32_t g_u32IicBusErrorCount;
/* I2C_test runs 500 reads per unit; set it to 0 to stop the loop. */
BSP_API extern uint32_t g_ulI2cTestTime;

BSP_API uint32_t I2CBUS_Init(void *pvBusList, void *pvDevList);
BSP_API uint32_t I2CBUS_GetDevAndBusByDevId(uint32_t u32DevId, IIC_DEV_S **pDev, IIC_BUS_S **pBus);
BSP_API void I2CBUS_SelectSubBus(IIC_DEV_S *pDev, IIC_BUS_S *pBus);
BSP_API void I2CBUS_SetClock(IIC_DEV_S *pDev, IIC_BUS_S *pBus);
BSP_API uint32_t I2CBUS_ApiRead(uint32_t u32DevId, uint32_t u32Offset, uint8_t *pucDstAddr, uint32_t u32Len);
BSP_API uint32_t I2CBUS_ApiWrite(uint32_t u32DevId, uint32_t u32Offset, uint8_t *pucSrcAddr, uint32_t u32Len);
BSP_API uint32_t I2CBUS_FindDeviceIdByName(const char *pDevName, uint32_t *pDevId);
BSP_API uint32_t I2CBUS_SetDevDataWidth(uint32_t u32DevId, uint32_t u32DataWidth);
BSP_API void I2CBUS_ShowBusData(uint32_t u32BusId);
BSP_API void I2CBUS_ShowDevData(uint32_t u32DevId);
BSP_API void I2C_test(void);

/* One EEPROM of the board; a row with slot number 0 ends the table. */
typedef struct tagBspEepromCfg {
  uint32_t ulSlotNum;
  const char *pcDevName;
  uint32_t u32DevId; /* 0xFFFFFFFF until EEPROM_Init finds the device */
} BSP_EEPROM_CFG;

BSP_API extern BSP_EEPROM_CFG g_astBspEepromCfg[];
/* Non-zero: a slot without an EEPROM row is reported. */
BSP_API extern uint32_t g_ulEepromDebugPrint;

BSP_API uint32_t EEPROM_Init(void);
BSP_API uint32_t EEPROM_GetEepromCfg(uint32_t ulBoardSlot, BSP_EEPROM_CFG **ppCfg);
BSP_API uint32_t EEPROM_Read(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint8_t *pucOut, uint32_t ulLen,
                             uint32_t *pulActLen);
BSP_API uint32_t EEPROM_Write(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint8_t *pucData, uint32_t ulLen,
                              uint32_t *pulActLen);
BSP_API uint32_t EEPROM_Dump(uint32_t ulBoardSlot, uint32_t ulRegOffset, uint32_t ulLen);
BSP_API uint32_t EEPROM_SetDataWidth(uint32_t ulBoardSlot, uint32_t ulWidth);
BSP_API void EEPROM_SetDbgPrint(uint32_t u32DbgSet);

BSP_END_DECLS

#endif
