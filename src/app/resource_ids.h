/* Identifiers shared by the monitor's code and the Windows resource script (which is why they
   are plain macros). */
#ifndef WSMON_RESOURCE_IDS_H
#define WSMON_RESOURCE_IDS_H

/* Resources. */
#define IDI_WSMON 700
#define IDR_MAIN_MENU 701
#define IDD_SETTINGS 110

/* Menu commands. */
#define CMD_START 100
#define CMD_SETTINGS 101
#define CMD_STOP 102
#define CMD_EXIT 103
#define CMD_OPEN 104
#define CMD_CLOSE 105
/* The Windows program's ledger window, an item that options add to the menu. */
#define CMD_LEDGER 106

/* The poll timer and its period in milliseconds. */
#define POLL_TIMER_ID 100
#define POLL_PERIOD_MS 200

/* Settings dialog controls. */
#define IDC_CONFIRM 300
#define IDC_EXIT 301
#define IDC_COM1 200
#define IDC_COM2 201
#define IDC_COM3 202
#define IDC_COM4 203
#define IDC_BAUD_9600 210
#define IDC_BAUD_19200 211
#define IDC_BAUD_38400 212
#define IDC_SAVE_LOG 1168
#define IDC_SENSOR_COUNT 1169
#define IDC_UNUSED (-1)

#endif
