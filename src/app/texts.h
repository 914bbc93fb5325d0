// Every text that the monitor shows or writes, in UTF-8. The Windows program shows them through
// the wide-character functions; the export converts the lines it writes to code page 936.
#pragma once

namespace text {

inline constexpr const char kWindowTitle[] = "ZEP Wireless Sensor test  2006.04.04 -- v1.50";

// Captions of message boxes.
inline constexpr const char kCaptionErrorBang[] = "错误提示!";
inline constexpr const char kCaptionError[] = "错误提示";
inline constexpr const char kCaptionFileError[] = "ERROR!";

// Messages of the main window and the menu commands.
inline constexpr const char kScreenTooSmall[] = "Your Screen size must >= 1024 X 768!";
inline constexpr const char kConfigReadFailed[] = "通讯口配置读取错误，调用缺省配置!";
inline constexpr const char kConfigSaveFailed[] = "通讯口配置保存错误!";
inline constexpr const char kPortOpenFailed[] = "端口不存在或出现错误，请重新设置!";

// Messages of the file operations.
inline constexpr const char kConfigWriteError[] = "write zep cfg err";
inline constexpr const char kFileHandleError[] = "file handle err";
inline constexpr const char kFileWriteError[] = "write file header err";

// Captions of the boxes in the main window.
inline constexpr const char kErrorLogCaption[] = "错误纪录";
inline constexpr const char kGoodCountCaption[] = "正确次数";
inline constexpr const char kBadCountCaption[] = "错误次数";
inline constexpr const char kErrorRatioCaption[] = "错误比率";
inline constexpr const char kPanelCaptionFormat[] = "传感器%d:";

// Fixed contents of the counter boxes: at window creation, and at the start of a run.
inline constexpr const char kInitialCount[] = " 00000";
inline constexpr const char kInitialRatio[] = " 00.00%";
inline constexpr const char kStartCount[] = "0000";
inline constexpr const char kStartRatio[] = "00.00%";

// Formats of the counter boxes and lines.
inline constexpr const char kCountFormat[] = " %5d ";
inline constexpr const char kRunHeaderFormat[] = "sensor%d, 开始于:<%4d/%02d/%02d--%02d:%02d:%02d>";
inline constexpr const char kErrorPrefixFormat[] = "%05d -> %02d:%02d:%02d -- ";
inline constexpr const char kErr1Format[] = "ERR1,L=%d,D:";
inline constexpr const char kErr2Format[] = "ERR2,n=%d,D:";
inline constexpr const char kErr3Text[] = "ERR3,COM PORT READ ERR!";
inline constexpr const char kErr4Text[] = "ERR4,TMP-BUFF FULL!";
inline constexpr const char kErr5Format[] = "ERR5,ID > %d!";
inline constexpr const char kDegreeSign[] = "℃";

// Pieces of a sensor panel line.
inline constexpr const char kTimedPrefixFormat[] = "%03d-%02d:%02d:%02d-%02X-";
inline constexpr const char kShortPrefixFormat[] = "%03d-";
inline constexpr const char kTemperatureEnd[] = "/";
inline constexpr const char kNoTemperature[] = "<----/";
inline constexpr const char kHumidityUnit[] = "%RH";
inline constexpr const char kNoHumidity[] = "---->";
inline constexpr const char kRawBytesFormat[] = "-<%02X-%02X-%02X-%02X-%02X>";
inline constexpr const char kIntervalLead[] = "-";

// Menu items, left to right.
inline constexpr const char kMenuOpen[] = "打开串口(o&pen)";
inline constexpr const char kMenuClose[] = "关闭串口(clos&e)";
inline constexpr const char kMenuSettings[] = "设置(s&etting)";
inline constexpr const char kMenuStart[] = "启动(&start)";
inline constexpr const char kMenuStop[] = "停止(s&top)";
inline constexpr const char kMenuExit[] = "退出(e&xit)";

// The settings dialog.
inline constexpr const char kDialogCaption[] = "参数设定";
inline constexpr const char kDialogConfirm[] = "确  认";
inline constexpr const char kDialogExit[] = "退  出";
inline constexpr const char kDialogPortGroup[] = "串口选择:";
inline constexpr const char kDialogBaudGroup[] = "波特率:";
inline constexpr const char kDialogSaveLog[] = "保存数据文件";
inline constexpr const char kDialogSensorCount[] = "传感器数量:";
inline constexpr const char kDialogSensorRange[] = "(1--32)";

// Files in the start directory.
inline constexpr const char kConfigFileName[] = "wscfg.cfg";
inline constexpr const char kExportNameFormat[] = "RUVEZ_%4d_%02d_%02d_%02d_%02d";
inline constexpr const char kExportNameExtension[] = ".txt";
// A run's journal, named after its start as RUVEZ_YYYY_MM_DD_HH_MM_SS.journal.
inline constexpr const char kJournalExtension[] = ".journal";
// An export made at start-up from the journal of a run that never reached its stop.
inline constexpr const char kRecoveredSuffix[] = "_recovered";
inline constexpr const char kCaptionRecovered[] = "Run recovered";

}  // namespace text
