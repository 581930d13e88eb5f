/* RKM51DLL: the recorder's device API for other programs.
 *
 * Nine functions on one library-wide device object: stdcall in RKM51DLL.dll,
 * the plain C calling convention in librkm51.so on Linux. CConnectDV finds
 * the recorder and keeps its volume open; every other function (but
 * CDisconnectDV) talks to the recorder it found. CDisconnectDV closes the
 * volume, so that the recorder can be removed safely; a function that needs
 * the recorder and finds no open volume (after CDisconnectDV, or before any
 * CConnectDV) looks for the recorder first, as CConnectDV does.
 * Calls from several threads are serialised inside the library.
 *
 * Results:
 *   CConnectDV      1 recorder found, 0 none
 *   CDisconnectDV   always 1; the volume is closed
 *   CLogin          1 password accepted, 0 refused or transfer failed
 *   CSetPassword    1 command delivered, 0 transfer failed
 *   CIntoUDiskMode  1 command delivered, 0 transfer failed
 *   CSetTime        1 time taken, 0 refused or transfer failed
 *   CSetID          1 number taken, 0 refused or transfer failed
 *   CGetTime        1 time delivered, 0 transfer failed, else the recorder's status byte
 *   CGetID          1 number delivered, 0 transfer failed, else the recorder's status byte
 * Every function given a null pointer returns 0 and sends nothing.
 */
#ifndef RKM51DLL_H
#define RKM51DLL_H

#if defined(_WIN32)
#define RKM51_CALL __stdcall
#if defined(RKM51DLL_BUILD) || defined(RKM51DLL_STATIC)
#define RKM51_API
#else
#define RKM51_API __declspec(dllimport)
#endif
#else
#define RKM51_CALL
#define RKM51_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The recorder's clock: six ints, seconds first. */
typedef struct RecorderTime {
    int second; /* 0..59 */
    int minute; /* 0..59 */
    int hour;   /* 0..23 */
    int day;    /* 1..31 */
    int month;  /* 1..12 */
    int year;   /* full year, such as 2013 */
} RecorderTime;

/* Finds the recorder among the drive letters D to Z (Linux: among the
 * removable USB SCSI disks, /dev/sda, /dev/sdb ...). */
RKM51_API int RKM51_CALL CConnectDV(void);
RKM51_API int RKM51_CALL CDisconnectDV(void);
/* 6 password bytes; lower-case letters are upper-cased in the caller's buffer. */
RKM51_API int RKM51_CALL CLogin(char* password);
RKM51_API int RKM51_CALL CSetPassword(char* password);
RKM51_API int RKM51_CALL CSetTime(const RecorderTime* time);
/* All six fields are written; zeros unless the result is 1. */
RKM51_API int RKM51_CALL CGetTime(RecorderTime* time);
/* 13 police-number bytes, sent as they stand. */
RKM51_API int RKM51_CALL CSetID(const char* number);
/* 14 bytes: 13 characters and a zero, written only when the result is 1. */
RKM51_API int RKM51_CALL CGetID(char* number);
RKM51_API int RKM51_CALL CIntoUDiskMode(void);

#ifdef __cplusplus
}
#endif

#endif
