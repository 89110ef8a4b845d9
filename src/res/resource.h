#pragma once
#define IDS_SPEECH_WINDOW 2000
#define IDS_APP_NAME 40000
