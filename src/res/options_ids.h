#pragma once
// The Options dialog, its pages and their controls.

// Frame
#define IDD_OPTIONS                 40027
#define IDC_OPTIONS_TABS            40026
#define IDC_RESET_SETTINGS          40056

// Speech page
#define IDD_SPEECH_PAGE             40044
#define IDC_RATE                    40032
#define IDC_CLIPBOARD               40033
#define IDC_APPEND                  40034
#define IDC_REPEAT                  40035
#define IDC_START                   40036
#define IDC_WINDOW                  40037
#define IDC_BORDER                  40038
#define IDC_CLOSE                   40039
#define IDC_CONFIRM                 40040
#define IDC_TOP                     40041
#define IDC_AUTOPLAY                40042
#define IDC_SPEECH_SETTINGS         40043
#define IDC_AUTOSCROLL              40055
#define IDC_FULLTEXT                40067
#define IDC_DELETE                  40098
#define IDC_VOICE_LIST              40310
#define IDC_VOLUME                  40311
#define IDC_EACH_LANGUAGE           40312
#define IDC_LANGUAGE                40313
#define IDC_LANGUAGE_VOICE          40314
#define IDC_PITCH                   40315
#define IDC_RATE_VALUE              40316
#define IDC_VOLUME_VALUE            40317
#define IDC_PITCH_VALUE             40318
#define IDC_SPEED                   40319

// Appearance page
#define IDD_APPEARANCE_PAGE         40045
#define IDC_TEXT_COLOUR             40046
#define IDC_BACKGROUND_COLOUR       40047
#define IDC_FONT                    40048
#define IDC_PREVIEW                 40052
#define IDC_TRANSPARENCY            40053
#define IDC_POSITION_TOPLEFT        40063
#define IDC_POSITION_TOPRIGHT       40064
#define IDC_POSITION_BOTTOMRIGHT    40065
#define IDC_POSITION_CURRENT        40066
#define IDC_MARK_SENTENCE           40401
#define IDC_FOCUS_MODE              40402
#define IDC_LINE_SPACING            40403
#define IDC_HIGH_CONTRAST_NOTE      40404

// Voice Export page
#define IDD_EXPORT_PAGE             40070
#define IDC_EXPORT_WAVDIR           40071
#define IDC_EXPORT_BROWSE_WAVDIR    40072
#define IDC_EXPORT_WAV              40073
#define IDC_EXPORT_MP3              40074
#define IDC_EXPORT_LAMEDIR          40075
#define IDC_EXPORT_BROWSE_LAMEDIR   40076
#define IDC_EXPORT_MP3DIR           40077
#define IDC_EXPORT_BROWSE_MP3DIR    40078
#define IDC_EXPORT_BITRATE          40079
#define IDC_EXPORT_LAME_VERSION     40080
#define IDC_EXPORT_LAME_IN_USE      40160

// Help and Hot keys pages
#define IDD_HELP_PAGE               40092
#define IDC_HELP_TEXT               40093
#define IDD_HOTKEYS_PAGE            40100
#define IDC_HOTKEYS_TEXT            40099
#define IDC_HOTKEY_READ_SELECTION   40101
#define IDC_HOTKEY_PLAY_PAUSE       40102
#define IDC_HOTKEY_STOP             40103
#define IDC_CLEAR_READ_SELECTION    40104
#define IDC_CLEAR_PLAY_PAUSE        40105
#define IDC_CLEAR_STOP              40106

// Listening page
#define IDD_LISTENING_PAGE          40300
#define IDC_LISTEN_JOIN_LINES       40301
#define IDC_LISTEN_HYPHENS          40302
#define IDC_LISTEN_WEB_ADDRESSES    40303
#define IDC_LISTEN_CITATIONS        40304
#define IDC_LISTEN_MARKDOWN         40305
#define IDC_LISTEN_EMOJI            40306

// Pronunciation page and its entry dialog
#define IDD_PRONUNCIATION_PAGE      40400
#define IDC_PRONUNCIATION_LIST      40401
#define IDC_PRONUNCIATION_ADD       40402
#define IDC_PRONUNCIATION_EDIT      40403
#define IDC_PRONUNCIATION_REMOVE    40404
#define IDC_PRONUNCIATION_LISTEN    40405
#define IDC_PRONUNCIATION_IMPORT    40406
#define IDC_PRONUNCIATION_EXPORT    40407
#define IDC_PRONUNCIATION_NOTE      40408
// The page's look at clipvoce.dic for changes made outside the program while it is open
#define IDT_DICTIONARY_WATCH        40409
#define DICTIONARY_WATCH_MS         1000
#define IDD_PRONUNCIATION_ENTRY     40410
#define IDC_ENTRY_PATTERN           40411
#define IDC_ENTRY_REPLACEMENT       40412
#define IDC_ENTRY_TYPE              40413
#define IDC_ENTRY_CASE              40414
#define IDC_ENTRY_VOICE             40415
#define IDC_ENTRY_PROBLEM           40416
#define IDC_ENTRY_LISTEN            40417
#define IDC_EXPORT_TIMED_TEXT       40418
#define IDC_KEEP_HISTORY            40419
#define IDC_READ_IMAGES             40430
