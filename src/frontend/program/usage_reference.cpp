#include "frontend/program/usage_reference.h"

const char kUsageReference[] = R"(
Keys (the terminal monitor):
  p, s, t, x       open, start, stop, exit: alone or with Alt
  e                marks close, pressed again setting; Enter runs the marked item
  F10              marks the menu bar; Left and Right move the mark, Enter runs it, Esc leaves
  a click          on a menu item runs it (greyed items are dim and do nothing)
  g                the chart of one sensor's run: Left, Right or the sensor's number (one or
                   two digits) choose the sensor; Esc or g returns
  l                the ledger: a row per watched sensor with its figures (readings, missing
                   values, bad check bytes, intervals, gaps and missed readings, those
                   missed in outages and stalls apart, delivery, age, values, and with
                   --sequence-byte the readings lost and duplicated),
                   silent sensors highlighted, the ids of 32 or more last; as many columns as
                   the width holds. s sorts by sensor or by delivery (the worst first); Up,
                   Down, PgUp and PgDn scroll; Esc or l returns. The status line says
                   "N silent" while sensors are silent
  ?, F1, h         the help over the window, the ledger or the chart: that view's keys, what
                   the panels and counters hold, the status line's notice whole; any key
                   closes it
  Ctrl-C           exit at once: a run in progress ends without an export, the settings are
                   saved
  y, n, c or Esc   the answer when exit, close or setting would end a run with saving on, which
                   asks "stop and save the run first?": Yes (y) stops the run, which exports
                   it, and then runs the command; No (n) runs the command, which ends the run
                   without an export; Cancel (c or Esc) does nothing. Tab, Left and Right move
                   between the buttons, Enter and Space press the marked one. Ctrl-C and the
                   signals never ask.
  Tab, Space, Enter
                   in the settings dialog: the next control, toggle, confirm; Shift-Tab the
                   control before, the arrows the choice within a group; Esc does nothing, as
                   in the window, the exit button and [x] leave without changes

Panel lines: A good frame of a sensor id below 32 is a line in its panel. With 1 to 4 sensors
its pieces are, for example in 000-14:05:09-3A-+23.1℃/45.6%RH-<71-01-C8-01-86>- 5.2:
  000              the sensor's running number in this run, from 000 (four digits from 1000)
  14:05:09         the time of arrival
  3A               the frame's extra byte, in hex
  +23.1℃           the temperature; <----/ when the sensor measured none
  45.6%RH          the relative humidity; ----> when the sensor measured none
  <71-01-C8-01-86>  the frame's value bytes in hex: temperature low and high, humidity low
                   and high, then the check byte
  5.2              seconds since the sensor's previous reading (the first: since the start)

With 5 to 9 sensors the value bytes are left out. With 10 or more a panel shows its sensor's
latest reading alone, without time, extra byte or interval: 000-+23.1℃/45.6%RH. The start
of a run empties every panel (also those of the grid beyond the sensor count) and, with 9
sensors or fewer, writes a header line into each: sensor0, 开始于:<2006/04/04--09:05:00>.

Error codes: Each error is a line in the error log, NNNNN -> hh:mm:ss -- and then the code,
NNNNN being the error count when the line was written. The error count counts ERR1 and ERR2
events; the ratio is error events / (good frames + error events).
  ERR1,L=n,D:      n stray bytes that belong to no frame, in hex after D: (at most 15, then
                   ...); one event however many bytes
  ERR2,n=k,D:      a frame whose check byte is wrong: k is its place (from 0) among the
                   frames cut from the bytes of that poll, and D: its 9 bytes in hex
  ERR3,COM PORT READ ERR!
                   the port could not be read
  ERR4,TMP-BUFF FULL!
                   bytes were lost before the monitor could take them: the driver's input
                   overran, or one read brought more than the 320-byte accumulation buffer
                   holds
  ERR5,ID > 32!    a frame whose check byte is right but whose sensor id is 32 or more (every
                   id from 32 to 255 shows ID > 32!), then its 9 bytes in hex. The check byte
                   passed, so it counts as a good frame (in the good count and the ratio), but
                   no panel shows it

Files (in the start directory, the current directory):
  wscfg.cfg        the settings: 4 bytes, the port number, the baud rate (0 9600, 1 19200,
                   2 38400), saving (0 or 1) and the sensor count; saved at exit
  RUVEZ_YYYY_MM_DD_hh_mm.txt
                   the export of a run stopped with saving on: the lines of every panel in
                   turn, then the error log's, in code page 936, each ended by CR LF. A second
                   stop within the minute writes RUVEZ_..._mm_2.txt, and so on: an export never
                   replaces a file. With 10 or more sensors it holds each panel's latest
                   reading alone; --csv keeps every reading
  RUVEZ_..._readings.csv, RUVEZ_..._errors.csv, RUVEZ_..._sensors.csv
                   with --csv, beside each export: every reading and every error of the run,
                   and the ledger's figures of each sensor at the run's end
  FILE of --json   the JSON Lines, appended to; one record a line, "event" its first key,
                   "time" local with its offset from UTC (2026-12-08T03:03:54.128+01:00);
                   each session's first record a "header": program, version, device, baud.
                   A file on a disk is flushed to it at most once a second and at the end; a
                   full disk is told once, its records skipped, and writing resumes by itself
                   after a "records_skipped" record: count, bytes, reason

Recordings (--record FILE, --replay FILE): what the port gave the monitor, as a text file of lines
ended by LF. The first line is "wsmon-recording 1" and the program that wrote it; every other line
is one record, TICK TIME KIND [ARGUMENTS]: the monitor's millisecond clock and its local time
(2026-04-04T09:05:00.123) at that moment, then what happened:
  menu NAME        the operator chose a menu command: open, close, settings, start, stop, exit
  settings port=N baud=RATE sensors=N save=0|1
                   the settings of the run that starts
  poll             a poll that found something (one that found nothing is not recorded)
  open N PATH      COMN, the device PATH, opened; open-failed N PATH: it did not
  baud RATE [refused]
                   the line settings took effect (refused: they did not, and the port closed)
  write HEX        bytes sent: the probe, 414243
  read WAITING HEX
                   the bytes of one read, in hex; WAITING what the port said was waiting before
                   it (- for the probe's reply)
  receiver echo|plain
                   what the probe found
  lost count|read  the port stopped answering a waiting count or a read (unplugged)
  reopen N PATH    the port answered again after it was lost
  overrun          the driver lost received bytes (ERR4)
  close            the port closed
  stall LATE       the poll found the monitor LATE ms behind its poll timer (a monitor stall)
  gap RECORDS BYTES
                   records (and their bytes) that a full disk refused are missing here
  end              the program closed the recording (a recording without it was cut off)
A path stands last, with control bytes and the backslash as \xNN. A last line without its LF is
torn. What a record does not state is the usual answer: no bytes waiting, no loss. Every byte read
with the time it was read, in Python:
  | def reads(path):
  |     with open(path, encoding="utf-8") as f:
  |         if not f.readline().startswith("wsmon-recording 1 "):
  |             raise ValueError(path + " is not a recording")
  |         in_poll = False
  |         for line in f:
  |             if not line.endswith("\n"):
  |                 break  # torn: cut off while it was written
  |             tick, time, kind, *args = line.split()
  |             if kind in ("poll", "menu"):
  |                 in_poll = kind == "poll"
  |             elif kind == "read" and in_poll:
  |                 yield int(tick), time, bytes.fromhex(args[1])

Service mode (--run): what a bench that runs for weeks on its own needs, as the systemd unit
wsmon@.service runs it. At launch it opens the port and starts a run with the settings of
wscfg.cfg, and reads no commands (standard input may be /dev/null). Every run is exported
when it ends, whatever wscfg.cfg says about saving (the file itself is left as it was).
A port that does not open ends it at once with status 1 (the reason on standard error), for
the service manager to try again. Standard output carries the lines of the runs alone, not
those of the boxes: > open, > start, and at each boundary > stop (rotation) and
> start (rotation); export NAME for each export; the stats lines at the end of each run;
port lost, back and other; message boxes. SIGTERM, SIGHUP, SIGQUIT and SIGINT stop the run,
which exports it (> stop (signal) or (interrupted)), then exit with status 0.
  --rotate daily   a run ends at every local midnight (the date changing, also by a change of
                   the clock or of daylight saving time) and the next starts at once
  --rotate Nh      every N hours from the first start, not drifting with the time the
                   rotations take; Nm and Ns give minutes and seconds, for trying it out. A
                   rotation that takes longer than a period is followed by a whole period
  across a boundary
                   what waits at the port at the stop, and what comes during the export, is
                   read by the next run: no byte is lost or read twice, and a frame cut by the
                   boundary is whole in the next run
  --json FILE      with --rotate, one file per run: run.jsonl gives run_YYYY_MM_DD_hh_mm.jsonl,
                   named after the run's start (_2, _3 ... for another in the same minute; a
                   file is never shared by two runs). A FILE that is a FIFO or a device is
                   written as it is. --csv files go with each export as always
  --record FILE    with --rotate, one recording per run, named as the JSON file is; each
                   begins with the open of the port as its run found it, so that
                   --replay plays it alone into that run's export

Network outputs (--http, --mqtt; the terminal monitor and --headless alike): neither holds up
the polling. What they say goes to standard error (--headless) or the status line.
  GET /metrics     the figures in the Prometheus text format 0.0.4, base units; counters start
                   at 0 with each run; a value the monitor does not have is left out. Run:
                   wsmon_build_info{version}, wsmon_run_active, wsmon_port_up,
                   wsmon_frames_total (the good count), wsmon_error_events_total (the error
                   count), wsmon_frame_errors_total{code="ERR1".."ERR5"},
                   wsmon_stray_bytes_total, wsmon_refused_frames_total,
                   wsmon_refused_bad_checks_total, wsmon_port_outages_total,
                   wsmon_port_outage_seconds_total, wsmon_monitor_stalls_total,
                   wsmon_monitor_stall_seconds_total, wsmon_run_duration_seconds,
                   wsmon_run_start_timestamp_seconds, wsmon_sensors_configured,
                   wsmon_sensors_watched, wsmon_sensors_silent. Per sensor {sensor="ID"}:
                   wsmon_readings_total, wsmon_readings_without_value_total{quantity},
                   wsmon_bad_checks_total, wsmon_temperature_celsius, wsmon_humidity_ratio
                   (0 to 1), wsmon_last_reading_timestamp_seconds, wsmon_sensor_age_seconds,
                   wsmon_sensor_silent, wsmon_interval_median_seconds,
                   wsmon_interval_p95_seconds, wsmon_sensor_gaps,
                   wsmon_sensor_missed_readings, wsmon_sensor_missed_outage_readings,
                   wsmon_sensor_delivery_ratio, wsmon_implausible_values_total{quantity},
                   wsmon_sequence_lost_total, wsmon_sequence_lost_outages,
                   wsmon_sequence_wrap_gaps, wsmon_sequence_duplicates_total. The outputs:
                   wsmon_feed_records_dropped_total, wsmon_http_events_clients,
                   wsmon_http_events_clients_dropped_total, wsmon_mqtt_connected,
                   wsmon_mqtt_messages_published_total, wsmon_mqtt_messages_dropped_total
  GET /events      the event stream as JSON Lines, chunked: readings, errors, run start and
                   stop, exports, port lost and back, monitor stalls, the ledger every 60 s of
                   a run and at its end; {"event":"keepalive",...} after 30 s without a
                   record. A reader that falls 256 KiB behind is dropped; 8 readers at most. A
                   request must come whole within 3 s; one request per connection; other
                   methods than GET and HEAD get 405
  GET /            the live page (counters, latest readings, a chart per sensor, the ledger);
                   GET /state and GET /history are the JSON it reads
  MQTT topics      PREFIX/sensors/ID/temperature_C and .../humidity_RH (each reading's values),
                   PREFIX/events (every record but the ledger's), PREFIX/stats (the ledger
                   every 60 s of a run and at its end), PREFIX/availability (online, offline;
                   retained; offline is also the will), PREFIX/receiver (online while the port
                   answers, offline while it is lost or closed; retained); with
                   --mqtt-discovery homeassistant/sensor/NODE/sensorID_temperature/config and
                   ..._humidity/config (retained, once a sensor has a median interval,
                   expire_after 3 x it and a quarter more; again only when that must grow).
                   QoS 1. A missing broker is said once and tried again after 1 s, then every
                   2 s; records meanwhile wait in memory (80 MiB, the oldest dropped and counted
                   beyond) and follow in order

Environment:
  WSMON_COM<N>     the device of port COMN, where --com N=PATH does not name one
  NOTIFY_SOCKET, WATCHDOG_USEC, WATCHDOG_PID
                   set by systemd for a unit of Type=notify (wsmon@.service): --run tells it
                   READY=1 once the first run has started (--headless: when its loop runs),
                   WATCHDOG=1 from the loop at half the watchdog's interval, STATUS= with the
                   run's figures every 5 s, STOPPING=1 when it begins to end. Without
                   NOTIFY_SOCKET nothing is sent
  TERM             the terminal's type; one that is not known or cannot place the cursor
                   (such as dumb) is refused with a message
  LC_ALL, LC_CTYPE, LANG
                   the character set of the screen: UTF-8 and GB18030 are used as they are,
                   any other gives UTF-8. Each character takes the cells the locale gives it.
                   Box lines are drawn with + - | unless the character set is UTF-8 and the
                   locale gives the line-drawing characters one cell each

Windows program: wsmon.exe is the same monitor in a window; its window, dialog, texts and files
are the same byte for byte. Started without options it is the monitor alone. Its options are
the Linux program's where they apply, read the same way; --help and --version answer in a
message box, a mistake too (exit status 2), and so does an output that cannot start (1):
  --com N=COMx     the settings' port N opens COMx instead (N and x from 1 to 255), for a
                   receiver on COM5 or above; repeatable
  --csv, --json FILE, --sequence-byte
                   as above; the JSON Lines need a FILE
  --http, --http-token, --mqtt, --mqtt-topic, --mqtt-discovery
                   as above; the token's FILE must not be readable by Everyone, Users or
                   Authenticated Users (its access list is checked): a file in the user's own
                   profile folder is fine
  --ledger         the ledger window without any other option
With any option the menu has a seventh item, 统计(ledger): the ledger's table in a window, with
the columns of the terminal's ledger view, silent sensors in red, sorted by a click on a
column's header (a second click turns the order round), updated at every poll; its status line
tells the run's figures, "; receiver lost" while the port is away, and what the outputs report.
During a run Windows does not go to sleep. A shortcut with options has for its Target, for
example, "C:\wsmon\wsmon.exe" --com 1=COM7 --csv --http 9100, and C:\wsmon for Start in.
)";
