// The page library's resource ids: page titles and texts (string table), dialog templates,
// registration scripts and the type library. Read by the resource script and by the library's code.
#pragma once

// ---- Strings -----------------------------------------------------------------------------------

// Pin selector, tone choices, the preview note and the audio pair labels.
#define IDS_PIN_CAPTURE 2
#define IDS_TONE_NONE 3
#define IDS_TONE_1KHZ 4
#define IDS_TONE_3KHZ 5
#define IDS_PREVIEW_NEEDS_TRUE_COLOUR 6
#define IDS_STEREO_PAIR_COUNT 8
#define IDS_STEREO_PAIR_INDEX 9
// Scaling algorithms 10 to 13, default video sizes 20 to 24.
#define IDS_SCALING_FIRST 10
#define IDS_SCALING_LAST 13
#define IDS_VIDEO_SIZE_FIRST 20
#define IDS_VIDEO_SIZE_LAST 24
#define IDS_PIN_PREVIEW 40
#define IDS_PIN_BOTH 41

// Page titles.
#define IDS_TITLE_DEVICE 115
#define IDS_TITLE_VIDEO_PROC_AMP 122
#define IDS_TITLE_VIDEO_DECODER 127
#define IDS_TITLE_TRACE 132
#define IDS_TITLE_CROSSBAR 142
#define IDS_TITLE_CLOSED_CAPTION 147
#define IDS_TITLE_DEINTERLACE 152
#define IDS_TITLE_CROPPING 157
#define IDS_TITLE_WATERMARK 162
#define IDS_TITLE_LOSS_OF_SIGNAL 167
#define IDS_TITLE_INPUT_DETECT 177
#define IDS_TITLE_DIAGNOSTICS 182
#define IDS_TITLE_PERFORMANCE 187
#define IDS_TITLE_AUDIO_INPUT_MIXER 202
#define IDS_TITLE_AUDIO_CONFIGURATOR 208

// Input detection: standards 2131 to 2137, tree words 2149 to 2157.
#define IDS_STANDARD_NTSC 2131
#define IDS_STANDARD_PAL 2132
#define IDS_STANDARD_1035I 2133
#define IDS_STANDARD_1080I 2134
#define IDS_STANDARD_720P 2135
#define IDS_STANDARD_483P 2136
#define IDS_STANDARD_1080P 2137
#define IDS_VIDEO_INPUTS 2149
#define IDS_UNKNOWN_SIGNAL 2150
#define IDS_NO_SIGNAL 2151
#define IDS_AUDIO_INPUTS 2152
#define IDS_ACTIVE_PIXELS 2153
#define IDS_BLANKING_PIXELS 2154
#define IDS_ACTIVE_LINES 2155
#define IDS_BLANKING_LINES 2156
#define IDS_DSP_IO_INDEX 2157

// File dialog titles.
#define IDS_SELECT_WATERMARK_FILE 3566
#define IDS_SELECT_LOG_FILE 3569

// Signal types: the name of entry i is 4000 + i, its value as decimal text 4100 + i (i = 0 to 17);
// 4018 and 4118 close the two runs.
#define IDS_SIGNAL_TYPE_NAME_FIRST 4000
#define IDS_SIGNAL_TYPE_NAME_END 4018
#define IDS_SIGNAL_TYPE_VALUE_FIRST 4100
#define IDS_SIGNAL_TYPE_VALUE_END 4118

// Connector names: 6000 + the connector type.
#define IDS_CONNECTOR_FIRST 6000
#define IDS_CONNECTOR_VIDEO_TUNER_IN 6001
#define IDS_CONNECTOR_VIDEO_COMPOSITE_IN 6002
#define IDS_CONNECTOR_VIDEO_SVIDEO_IN 6003
#define IDS_CONNECTOR_VIDEO_YRYBY_IN 6005
#define IDS_CONNECTOR_VIDEO_SERIAL_DIGITAL_IN 6006
#define IDS_CONNECTOR_VIDEO_DECODER_OUT 6012
// Audio connector names: 6010 + the audio connector type (10 SDI to 14 unbalanced).
#define IDS_AUDIO_CONNECTOR_SDI 6020
#define IDS_AUDIO_CONNECTOR_AES 6021
#define IDS_AUDIO_CONNECTOR_SPDIF 6022
#define IDS_AUDIO_CONNECTOR_BALANCED 6023
#define IDS_AUDIO_CONNECTOR_UNBALANCED 6024

// ---- Dialog templates, one per page ------------------------------------------------------------

#define IDD_CROP_PAGE 105
#define IDD_DEVICE_INFO_PAGE 114
#define IDD_VIDEO_PROC_AMP_PAGE 121
#define IDD_VIDEO_DECODER_PAGE 126
#define IDD_TRACE_PAGE 131
#define IDD_CROSSBAR_PAGE 141
#define IDD_CLOSED_CAPTION_PAGE 146
#define IDD_DEINTERLACE_PAGE 151
#define IDD_WATERMARK_PAGE 161
#define IDD_LOSS_OF_SIGNAL_PAGE 166
#define IDD_INPUT_DETECT_PAGE 176
#define IDD_DIAGNOSTICS_PAGE 181
#define IDD_PERFORMANCE_PAGE 186
#define IDD_AUDIO_CONFIG_PAGE 187
#define IDD_AUDIO_INPUT_MIXER_PAGE 188

// ---- Registration scripts ("REGISTRY") and the type library ("TYPELIB") -----------------------

#define IDR_DEVICEINFOPROPPAGE 118
#define IDR_VIDEOPROCAMP 125
#define IDR_VIDEODECODERPROPPAGE 130
#define IDR_TRACEPROPPAGE 140
#define IDR_CROSSBARPROPPAGE 145
#define IDR_CLOSEDCAPTIONPROPPAGE 150
#define IDR_DEINTERLACEPROPPAGE 155
#define IDR_CROPPROPPAGE 160
#define IDR_WATERMARKPROPPAGE 165
#define IDR_LOSSOFSIGNAL 170
#define IDR_INPUTDETECTPROPPAGE 180
#define IDR_DIAGNOSTICSPROPPAGE 185
#define IDR_CAUDIOCONFIGPROPPAGE 214
// The performance page's script is stored by name: IDR_CPERFORMANCEPROPPAGE is deliberately not a
// number, so that the script and the class name it as the text "IDR_CPERFORMANCEPROPPAGE".
#define IDR_TYPELIB 1

// ---- Bitmaps (drawn by artwork/make_artwork.py at build time) ----------------------------------

#define IDB_RESTORE_BUTTONS 206        // the proc-amp page's restore buttons: four 18-pixel images
#define IDB_STILL_PICTURE 207          // the previews' picture while no video runs, 320 x 240
#define IDB_COLOUR_STRIP 209           // the closed-caption palette under its colour buttons
#define IDB_TEXT_COLOUR_STRIP 226      // the loss-of-signal text colours
#define IDB_VECTOR_GRATICULE 229       // vector scope, single-line layout, 280 x 280, 8 bits
#define IDB_SIGNAL_LOSS_BARS 230       // loss-of-signal pictures 230 to 238 (picture type + 230):
#define IDB_SIGNAL_LOSS_WHITE 231      //   colour bars, then the eight flat colours
#define IDB_SIGNAL_LOSS_YELLOW 232
#define IDB_SIGNAL_LOSS_CYAN 233
#define IDB_SIGNAL_LOSS_GREEN 234
#define IDB_SIGNAL_LOSS_MAGENTA 235
#define IDB_SIGNAL_LOSS_RED 236
#define IDB_SIGNAL_LOSS_BLUE 237
#define IDB_SIGNAL_LOSS_BLACK 238
#define IDB_VECTOR_GRATICULE_TWO_LINE 239 // vector scope, two-line layout, 280 x 280, 8 bits
#define IDB_LUMA_GRATICULE 240         // luma scope, 280 x 280, 24 bits
