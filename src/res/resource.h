#pragma once
// Every resource, command and control identifier of the program. The dialogs' own
// identifiers live in the files included here, one per dialog family.
#include "options_ids.h"
#include "export_ids.h"
#include "about_ids.h"

// Icons
#define IDI_PROGRAM                 107
#define IDI_FONT                    108
#define IDI_POSITION_TOPLEFT        109
#define IDI_POSITION_CURRENT        110
#define IDI_POSITION_TOPRIGHT       111
#define IDI_POSITION_BOTTOMRIGHT    112

// Strings
#define IDS_SPEECH_WINDOW           2000
#define IDS_STOP                    2001
#define IDS_PLAY                    2002
#define IDS_PAUSE                   2003
#define IDS_RESUME                  2004
#define IDS_PLAYING                 2005
#define IDS_STOPPED                 2006
#define IDS_PAUSED                  2007
#define IDS_OPTIONS                 2008
#define IDS_SPEECH                  2009
#define IDS_APPEARANCE              2010
#define IDS_CONFIRMATION            2011
#define IDS_CONFIRM_QUIT            2012
#define IDS_CONFIRM_RESET           2013
#define IDS_WARNING                 2014
#define IDS_ALREADY_RUNNING         2015
#define IDS_ABOUT                   2016
#define IDS_VOICE_EXPORT            2017
#define IDS_FILE_SAVE_FAILED        2018
#define IDS_SAVING                  2019
#define IDS_LAME_MISSING            2020
#define IDS_NO_UPDATE               2021
#define IDS_DOWNLOAD_FAILED         2022
#define IDS_UPDATED                 2023
#define IDS_UPDATE_CHECKING         2060
#define IDS_UPDATE_DOWNLOADING      2061
#define IDS_UPDATE_UNREACHABLE      2062   // %1 why
#define IDS_SERVER_STATUS           2063   // %1 the HTTP status code
#define IDS_SERVER_SILENT           2064
#define IDS_HELP                    2024
#define IDS_CONFIRM_DELETE          2025
#define IDS_HOT_KEYS                2026
#define IDS_LISTENING               2140
#define IDS_APP_NAME                40000
#define IDS_RESET_MUTEX             40003
#define IDS_SETTINGS_UNREADABLE     2040   // %1 the settings file, %2 the system's reason
#define IDS_NO_VOICE                2070   // %1 the system's reason
#define IDS_SETTINGS_NOT_SAVED      2071   // %1 the settings file, %2 the system's reason
#define IDS_RESTART_FAILED          2072   // %1 the system's reason
#define IDS_CANNOT_START            2073   // %1 the system's reason
#define IDS_NO_TEXT_SELECTED        2080
#define IDS_CLIPBOARD_BUSY          2081
#define IDS_CLIPBOARD_NOT_PUT_BACK  2082
#define IDS_HOT_KEY_TAKEN           2083   // %1 the combination, %2 what it would do
#define IDS_HOT_KEY_DUPLICATE       2084   // %1 the combination, %2 what it does already
#define IDS_HOT_KEYS_TAKEN_AT_START 2085   // %1 the refused keys and what they do
#define IDS_ACTION_READ_SELECTION   2086
#define IDS_ACTION_PLAY_PAUSE       2087
#define IDS_ACTION_STOP             2088
#define IDS_GLOBAL_HOT_KEY_LINE     2089   // %1 the combination, %2 what it does
#define IDS_GLOBAL_HOT_KEY_TAKEN_LINE 2090 // the same for a key another program holds
#define IDS_CLIPBOARD_NOT_PUT_BACK_PASTE 2091
#define IDS_CLIPBOARD_PARTLY_PUT_BACK 2092 // %1 how many formats were not kept
#define IDS_COPY_NOT_DELIVERED      2093
#define IDS_HOT_KEY_WITHOUT_CTRL_ALT 2094  // %1 the combination and what it would do
#define IDS_HOT_KEY_GIVEN_TWICE     2095   // the same, %2 what it does already
#define IDS_COPY_TOO_LARGE          2120   // %1 the copy's megabytes, %2 the most taken
#define IDS_FIRST_COPY_NOTE         2100
#define IDS_FIRST_COPY_BALLOON      2101   // %1 the play/pause hot key
#define IDS_FIRST_COPY_BALLOON_NO_HOT_KEY 2102
#define IDS_LAME_IN_USE             2103   // %1 the library's path
#define IDS_LAME_NOT_FOUND          2104
// What the pronunciation dictionary left undone of a text, and an entry's limit
#define IDS_PRONUNCIATION_SLOW      2460   // %1 the entry's pattern
#define IDS_PRONUNCIATION_SLOW_MORE 2461   // %1 the first entry's pattern, %2 how many others
#define IDS_PRONUNCIATION_TOO_LONG  2462
#define IDS_REPLACEMENT_TOO_LONG    2463   // %1 the most characters
#define IDS_LANGUAGE_WITHOUT_VOICE  2121   // %1 the language
#define IDS_CHOSEN_VOICE_MISSING    2122   // %1 the voice, as its id names it
#define IDS_VOICE_NOT_INSTALLED     2123   // %1 the voice, as its id names it
// The pronunciation dictionary
#define IDS_PRONUNCIATION           2400
#define IDS_PRONUNCIATION_EMPTY_PATTERN 2401
#define IDS_PRONUNCIATION_TAB_OR_BREAK 2402
#define IDS_REGEX_INVALID           2403   // %1 the engine's message
#define IDS_DICTIONARY_BAD_FIELDS   2404
#define IDS_DICTIONARY_BAD_CASE     2405
#define IDS_DICTIONARY_BAD_TYPE     2406
#define IDS_DICTIONARY_NOT_UTF8     2407   // %1 the line's number
#define IDS_DICTIONARY_LINE_PROBLEM 2408   // %1 the line's number, %2 what is wrong
#define IDS_DICTIONARY_MORE_PROBLEMS 2409  // %1 how many
#define IDS_DICTIONARY_UNREADABLE   2410   // %1 the file, %2 why
#define IDS_DICTIONARY_NOT_SAVED    2412   // %1 the file, %2 why
#define IDS_IMPORT_UNREADABLE       2413   // %1 the file, %2 why
#define IDS_IMPORT_LINES_UNUSED     2414   // %1 the file, %2 how many; the first lines follow
#define IDS_EXPORT_DICTIONARY_FAILED 2415  // %1 the file, %2 why
#define IDS_DICTIONARY_SOME_UNUSED  2440   // %1 how many, %2 the file's name
#define IDS_DICTIONARY_FIRST_UNUSED 2441   // %1 the line's number, %2 what is wrong
#define IDS_DICTIONARY_RELOADED     2442
#define IDS_MATCH_ANYWHERE          2416
#define IDS_MATCH_REGEX             2417
#define IDS_MATCH_WHOLE_WORD        2418
#define IDS_ALL_VOICES              2419
#define IDS_COLUMN_PATTERN          2420
#define IDS_COLUMN_REPLACEMENT      2421
#define IDS_COLUMN_TYPE             2422
#define IDS_COLUMN_SCOPE            2423
#define IDS_ADD_PRONUNCIATION       2424
#define IDS_EDIT_PRONUNCIATION      2425
#define IDS_DICTIONARY_FILTER       2426   // pairs of name and pattern, each ending in '|'
#define IDS_DICTIONARY_KEPT_UNCHANGED 2427 // %1 the file, %2 why
#define IDS_NOTHING_MATCHES         2428
#define IDS_PRONUNCIATION_DUPLICATE 2429
#define IDS_TIMED_TEXT_NOT_SAVED    2430   // %1 the file, %2 why
#define IDS_HISTORY_SET_ASIDE       2431   // %1 where the damaged history went
#define IDS_TOO_LARGE_TO_KEEP       2432
#define IDS_HISTORY_EMPTY           2433
#define IDS_NO_TEXT_IN_IMAGE        2434
#define IDS_IMAGE_NOT_READ          2436

// Menu and accelerators
#define IDM_POPUP                   40013
#define IDA_ACCELERATORS            40003

// Commands
#define CMD_QUIT                    40002
#define CMD_COPY                    40004
#define CMD_CLIPBOARD_MONITOR       40005
#define CMD_APPEND_TEXT             40006
#define CMD_PLAY_PAUSE              40009
#define CMD_PAUSE                   40010
#define CMD_STOP                    40011
#define CMD_BORDER                  40012
#define CMD_DELETE_ALL              40014
#define CMD_OPTIONS                 40015
#define CMD_ABOUT                   40016
#define CMD_PLAY_STOP               40019
#define CMD_CONTEXT_MENU            40022
#define CMD_SPEAKER_WINDOW          40049
#define CMD_NEXT_SENTENCE           40061
#define CMD_PREVIOUS_SENTENCE       40062
#define CMD_EXPORT                  40081
#define CMD_SCROLL_END              40090
#define CMD_SCROLL_HOME             40091
#define CMD_PASTE                   40094
#define CMD_HELP                    40095
#define CMD_RATE_UP                 40096
#define CMD_RATE_DOWN               40097
#define CMD_PRONOUNCE_AS            40420
#define CMD_FOCUS_MODE              40400
#define CMD_FASTER                  40421
#define CMD_SLOWER                  40422
#define CMD_CLEAR_HISTORY           40500
#define CMD_HISTORY_FIRST           40501   // and on, an entry each, newest first
#define CMD_HISTORY_LAST            40540

// Window messages of the program's own
#define WM_TRAYICON                 (WM_USER + 1)
#define WM_VOICE_EVENT              (WM_USER + 2)
// The program's player: what the voice reported has been heard
#define WM_VOICE_HEARD              (WM_USER + 3)
#define WM_TAKE_KEYBOARD_BACK       (WM_APP + 1)
// Registers the global hot keys as AppSettings holds them; the result has bit i set for
// each entry i of HotKeySettings that another program holds.
#define WM_APPLY_HOT_KEYS           (WM_APP + 2)
// A clipboard fetch has ended: wParam its ticket, lParam its result (clipboard_fetch.h)
#define WM_CLIPBOARD_FETCHED        (WM_APP + 3)
// Sent by the first-run greeting's thread once the About dialog has been closed
#define WM_GREETING_CLOSED          (WM_APP + 4)
// The text of a copied image has been recognised: wParam the reading's ticket
// (ocr/image_reading.h)
#define WM_IMAGE_READ               (WM_APP + 5)

// Global hot keys: the identifiers they are registered under (WM_HOTKEY's wParam)
#define HOTKEY_ID_READ_SELECTION    1
#define HOTKEY_ID_PLAY_PAUSE        2
#define HOTKEY_ID_STOP              3
// How long Read selection waits for the foreground program to copy its selection
#define SELECTION_COPY_TIMEOUT_MS   1000

// Timer of the Speech window
#define IDT_SPEECH_TIMER            1
#define SPEECH_TIMER_PERIOD         2000
// Read selection's waits: for the copy, and for the clipboard to be put back
#define IDT_SELECTION_GRAB          2
// Ends a note in the status line
#define IDT_STATUS_NOTE             3
#define STATUS_NOTE_MS              5000

// Tray icon identifier
#define TRAY_ICON_ID                107
