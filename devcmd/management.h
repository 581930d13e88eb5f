// Management commands (operation 0xFE): log in, passwords, clock, police number,
// USB-disk mode. Every one is a data-in transfer whose byte 0 is a status byte.
#pragma once

#include "DeviceTime.h"
#include "UsbScsiCmd.h"

constexpr int kPasswordLength = 6;
constexpr int kPoliceNumberLength = 13;
// Read-back police number: 13 characters and a terminating zero.
constexpr int kPoliceNumberBufferSize = 14;

// 1 when the recorder accepted the six password bytes, 0 when it refused them
// or the transfer failed.
int CmdLogin(UsbScsiCmd& device, const char* password);
// 1 when the command was delivered, 0 when the transfer failed.
int CmdSetPassword(UsbScsiCmd& device, const char* password);
// 1 when the recorder took the time, 0 when it refused it or a transfer failed.
int CmdSetTime(UsbScsiCmd& device, const DeviceTime* time);
// 0 when the transfer failed, else the status byte (1: `time` filled).
int CmdGetTime(UsbScsiCmd& device, DeviceTime* time);
// Sends the 13 bytes as two parts. 1 when both parts were taken, 0 when
// either was refused or failed; the second part follows only a good first part.
int CmdSetID(UsbScsiCmd& device, const char* number);
// Reads the police number into 14 bytes (13 characters, then a zero), written
// only when both parts delivered. 1 on success; 0 after a failed transfer;
// else the status byte of the part that was not good.
int CmdGetID(UsbScsiCmd& device, char* out);
// 1 when the command was delivered, 0 when the transfer failed.
int CmdIntoUDiskMode(UsbScsiCmd& device);

// Upper-cases the bytes 'a'..'z' among exactly six bytes, in place.
char* UppercasePassword(char* password);
