// Resources of this part of the program; included by clipvoce.rc.
#pragma once

// Wait dialog shown while an export renders or encodes
#define IDD_WAIT                    40082
#define IDC_WAIT_ANIMATION          40083
#define IDR_WAIT_CLIP               40084
#define IDC_WAIT_PROGRESS           40085
