// The TWAIN 1.8 definitions korven uses: scalar types, records (2-byte packing, as the standard's
// header lays them out on 32-bit Windows, with TW_HANDLE a 32-bit global memory handle) and constants
// with the standard's names and values. Header-only; shared by the component, the data source manager
// and the data sources.
#ifndef KORVEN_TWAINH_H
#define KORVEN_TWAINH_H

#include <korven/twain_platform.h>  // TW_HANDLE and the entries' calling convention, per platform

#include <cstddef>
#include <cstdint>

// ---- Scalar types ------------------------------------------------------------------------------

typedef int8_t TW_INT8;
typedef int16_t TW_INT16;
typedef int32_t TW_INT32;
typedef uint8_t TW_UINT8;
typedef uint16_t TW_UINT16;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef void* TW_MEMREF;
typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];
typedef char TW_STR1024[1026];
typedef uint16_t TW_UNI512[512];

typedef TW_INT8* pTW_INT8;
typedef TW_INT16* pTW_INT16;
typedef TW_INT32* pTW_INT32;
typedef TW_UINT8* pTW_UINT8;
typedef TW_UINT16* pTW_UINT16;
typedef TW_UINT32* pTW_UINT32;
typedef TW_BOOL* pTW_BOOL;
typedef TW_HANDLE* pTW_HANDLE;

// ---- Records ------------------------------------------------------------------------------------

#pragma pack(push, 2)

// A fixed-point number: Whole + Frac / 65536.
typedef struct {
  TW_INT16 Whole;
  TW_UINT16 Frac;
} TW_FIX32, *pTW_FIX32;

typedef struct {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
} TW_FRAME, *pTW_FRAME;

typedef struct {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
} TW_VERSION, *pTW_VERSION;

typedef struct {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
} TW_IDENTITY, *pTW_IDENTITY;

typedef struct {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
} TW_CAPABILITY, *pTW_CAPABILITY;

typedef struct {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
} TW_ONEVALUE, *pTW_ONEVALUE;

typedef struct {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
} TW_RANGE, *pTW_RANGE;

// Items follow from ItemList (offset 14), NumItems of them, each of the size of ItemType.
typedef struct {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
} TW_ENUMERATION, *pTW_ENUMERATION;

// Items follow from ItemList (offset 6).
typedef struct {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1];
} TW_ARRAY, *pTW_ARRAY;

typedef struct {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
} TW_IMAGEINFO, *pTW_IMAGEINFO;

typedef struct {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
} TW_IMAGELAYOUT, *pTW_IMAGELAYOUT;

typedef struct {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
} TW_USERINTERFACE, *pTW_USERINTERFACE;

// pEvent points at the platform's window message record (MSG).
typedef struct {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
} TW_EVENT, *pTW_EVENT;

// Count 0xFFFF: an unknown number of images is pending.
typedef struct {
  TW_UINT16 Count;
  TW_UINT32 Reserved;
} TW_PENDINGXFERS, *pTW_PENDINGXFERS;

typedef struct {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
} TW_STATUS, *pTW_STATUS;

typedef struct {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
} TW_SETUPMEMXFER, *pTW_SETUPMEMXFER;

typedef struct {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
} TW_MEMORY, *pTW_MEMORY;

typedef struct {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
} TW_IMAGEMEMXFER, *pTW_IMAGEMEMXFER;

#pragma pack(pop)

// ---- Entry points -------------------------------------------------------------------------------

// The manager's entry, exported by TWAIN_32.DLL as "DSM_Entry". pDest is null for operations
// addressed to the manager itself.
typedef TW_UINT16(TW_CALLINGSTYLE* DSMENTRYPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                                 TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
// A data source's entry, exported by each .ds as "DS_Entry"; pOrigin is the application's identity.
typedef TW_UINT16(TW_CALLINGSTYLE* DSENTRYPROC)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                TW_MEMREF pData);

// ---- Constants ----------------------------------------------------------------------------------

// Data groups
#define DG_CONTROL                         0x0001
#define DG_IMAGE                           0x0002

// Data argument types
#define DAT_NULL                           0x0000
#define DAT_CAPABILITY                     0x0001
#define DAT_EVENT                          0x0002
#define DAT_IDENTITY                       0x0003
#define DAT_PARENT                         0x0004
#define DAT_PENDINGXFERS                   0x0005
#define DAT_SETUPMEMXFER                   0x0006
#define DAT_SETUPFILEXFER                  0x0007
#define DAT_STATUS                         0x0008
#define DAT_USERINTERFACE                  0x0009
#define DAT_XFERGROUP                      0x000a
#define DAT_IMAGEINFO                      0x0101
#define DAT_IMAGELAYOUT                    0x0102
#define DAT_IMAGEMEMXFER                   0x0103
#define DAT_IMAGENATIVEXFER                0x0104
#define DAT_IMAGEFILEXFER                  0x0105

// Messages
#define MSG_NULL                           0x0000
#define MSG_GET                            0x0001
#define MSG_GETCURRENT                     0x0002
#define MSG_GETDEFAULT                     0x0003
#define MSG_GETFIRST                       0x0004
#define MSG_GETNEXT                        0x0005
#define MSG_SET                            0x0006
#define MSG_RESET                          0x0007
#define MSG_XFERREADY                      0x0101
#define MSG_CLOSEDSREQ                     0x0102
#define MSG_CLOSEDSOK                      0x0103
#define MSG_OPENDSM                        0x0301
#define MSG_CLOSEDSM                       0x0302
#define MSG_OPENDS                         0x0401
#define MSG_CLOSEDS                        0x0402
#define MSG_USERSELECT                     0x0403
#define MSG_DISABLEDS                      0x0501
#define MSG_ENABLEDS                       0x0502
#define MSG_PROCESSEVENT                   0x0601
#define MSG_ENDXFER                        0x0701

// Return codes
#define TWRC_SUCCESS                       0
#define TWRC_FAILURE                       1
#define TWRC_CHECKSTATUS                   2
#define TWRC_CANCEL                        3
#define TWRC_DSEVENT                       4
#define TWRC_NOTDSEVENT                    5
#define TWRC_XFERDONE                      6
#define TWRC_ENDOFLIST                     7
#define TWRC_INFONOTSUPPORTED              8
#define TWRC_DATANOTAVAILABLE              9

// Condition codes
#define TWCC_SUCCESS                       0
#define TWCC_BUMMER                        1
#define TWCC_LOWMEMORY                     2
#define TWCC_NODS                          3
#define TWCC_MAXCONNECTIONS                4
#define TWCC_OPERATIONERROR                5
#define TWCC_BADCAP                        6
#define TWCC_BADPROTOCOL                   9
#define TWCC_BADVALUE                      10
#define TWCC_SEQERROR                      11
#define TWCC_BADDEST                       12
#define TWCC_CAPUNSUPPORTED                13
#define TWCC_CAPBADOPERATION               14
#define TWCC_CAPSEQERROR                   15

// Container types
#define TWON_ARRAY                         3
#define TWON_ENUMERATION                   4
#define TWON_ONEVALUE                      5
#define TWON_RANGE                         6
#define TWON_DONTCARE8                     0xff
#define TWON_DONTCARE16                    0xffff
#define TWON_DONTCARE32                    0xffffffffu

// Item types
#define TWTY_INT8                          0x0000
#define TWTY_INT16                         0x0001
#define TWTY_INT32                         0x0002
#define TWTY_UINT8                         0x0003
#define TWTY_UINT16                        0x0004
#define TWTY_UINT32                        0x0005
#define TWTY_BOOL                          0x0006
#define TWTY_FIX32                         0x0007
#define TWTY_FRAME                         0x0008
#define TWTY_STR32                         0x0009
#define TWTY_STR64                         0x000a
#define TWTY_STR128                        0x000b
#define TWTY_STR255                        0x000c
#define TWTY_STR1024                       0x000d
#define TWTY_UNI512                        0x000e

// ICAP_UNITS values
#define TWUN_INCHES                        0
#define TWUN_CENTIMETERS                   1
#define TWUN_PICAS                         2
#define TWUN_POINTS                        3
#define TWUN_TWIPS                         4
#define TWUN_PIXELS                        5

// ICAP_PIXELTYPE values
#define TWPT_BW                            0
#define TWPT_GRAY                          1
#define TWPT_RGB                           2
#define TWPT_PALETTE                       3
#define TWPT_CMY                           4
#define TWPT_CMYK                          5
#define TWPT_YUV                           6
#define TWPT_YUVK                          7
#define TWPT_CIEXYZ                        8

// ICAP_XFERMECH values
#define TWSX_NATIVE                        0
#define TWSX_FILE                          1
#define TWSX_MEMORY                        2

// Identity
#define TWCY_JAPAN                         81
#define TWLG_JAPANESE                      68

// Capabilities, in the order of the capability-name table
#define CAP_CUSTOMBASE                     0x8000
#define CAP_XFERCOUNT                      0x0001
#define ICAP_COMPRESSION                   0x0100
#define ICAP_PIXELTYPE                     0x0101
#define ICAP_UNITS                         0x0102
#define ICAP_XFERMECH                      0x0103
#define CAP_AUTHOR                         0x1000
#define CAP_CAPTION                        0x1001
#define CAP_FEEDERENABLED                  0x1002
#define CAP_FEEDERLOADED                   0x1003
#define CAP_TIMEDATE                       0x1004
#define CAP_SUPPORTEDCAPS                  0x1005
#define CAP_EXTENDEDCAPS                   0x1006
#define CAP_AUTOFEED                       0x1007
#define CAP_CLEARPAGE                      0x1008
#define CAP_FEEDPAGE                       0x1009
#define CAP_REWINDPAGE                     0x100a
#define CAP_INDICATORS                     0x100b
#define CAP_SUPPORTEDCAPSEXT               0x100c
#define CAP_PAPERDETECTABLE                0x100d
#define CAP_UICONTROLLABLE                 0x100e
#define CAP_DEVICEONLINE                   0x100f
#define CAP_AUTOSCAN                       0x1010
#define CAP_THUMBNAILSENABLED              0x1011
#define CAP_DUPLEX                         0x1012
#define CAP_DUPLEXENABLED                  0x1013
#define CAP_ENABLEDSUIONLY                 0x1014
#define CAP_CUSTOMDSDATA                   0x1015
#define CAP_ENDORSER                       0x1016
#define CAP_JOBCONTROL                     0x1017
#define CAP_ALARMS                         0x1018
#define CAP_ALARMVOLUME                    0x1019
#define CAP_AUTOMATICCAPTURE               0x101a
#define CAP_TIMEBEFOREFIRSTCAPTURE         0x101b
#define CAP_TIMEBETWEENCAPTURES            0x101c
#define CAP_CLEARBUFFERS                   0x101d
#define CAP_MAXBATCHBUFFERS                0x101e
#define CAP_DEVICETIMEDATE                 0x101f
#define CAP_POWERSUPPLY                    0x1020
#define CAP_CAMERAPREVIEWUI                0x1021
#define CAP_DEVICEEVENT                    0x1022
#define CAP_PAGEMULTIPLEACQUIRE            0x1023
#define CAP_SERIALNUMBER                   0x1024
#define CAP_FILESYSTEM                     0x1025
#define CAP_PRINTER                        0x1026
#define CAP_PRINTERENABLED                 0x1027
#define CAP_PRINTERINDEX                   0x1028
#define CAP_PRINTERMODE                    0x1029
#define CAP_PRINTERSTRING                  0x102a
#define CAP_PRINTERSUFFIX                  0x102b
#define CAP_LANGUAGE                       0x102c
#define CAP_FEEDERALIGNMENT                0x102d
#define CAP_FEEDERORDER                    0x102e
#define CAP_PAPERBINDING                   0x102f
#define CAP_REACQUIREALLOWED               0x1030
#define CAP_PASSTHRU                       0x1031
#define CAP_BATTERYMINUTES                 0x1032
#define CAP_BATTERYPERCENTAGE              0x1033
#define CAP_POWERDOWNTIME                  0x1034
#define ICAP_AUTOBRIGHT                    0x1100
#define ICAP_BRIGHTNESS                    0x1101
#define ICAP_CONTRAST                      0x1103
#define ICAP_CUSTHALFTONE                  0x1104
#define ICAP_EXPOSURETIME                  0x1105
#define ICAP_FILTER                        0x1106
#define ICAP_FLASHUSED                     0x1107
#define ICAP_GAMMA                         0x1108
#define ICAP_HALFTONES                     0x1109
#define ICAP_HIGHLIGHT                     0x110a
#define ICAP_IMAGEFILEFORMAT               0x110c
#define ICAP_LAMPSTATE                     0x110d
#define ICAP_LIGHTSOURCE                   0x110e
#define ICAP_ORIENTATION                   0x1110
#define ICAP_PHYSICALWIDTH                 0x1111
#define ICAP_PHYSICALHEIGHT                0x1112
#define ICAP_SHADOW                        0x1113
#define ICAP_FRAMES                        0x1114
#define ICAP_XNATIVERESOLUTION             0x1116
#define ICAP_YNATIVERESOLUTION             0x1117
#define ICAP_XRESOLUTION                   0x1118
#define ICAP_YRESOLUTION                   0x1119
#define ICAP_MAXFRAMES                     0x111a
#define ICAP_TILES                         0x111b
#define ICAP_BITORDER                      0x111c
#define ICAP_CCITTKFACTOR                  0x111d
#define ICAP_LIGHTPATH                     0x111e
#define ICAP_PIXELFLAVOR                   0x111f
#define ICAP_PLANARCHUNKY                  0x1120
#define ICAP_ROTATION                      0x1121
#define ICAP_SUPPORTEDSIZES                0x1122
#define ICAP_THRESHOLD                     0x1123
#define ICAP_XSCALING                      0x1124
#define ICAP_YSCALING                      0x1125
#define ICAP_BITORDERCODES                 0x1126
#define ICAP_PIXELFLAVORCODES              0x1127
#define ICAP_JPEGPIXELTYPE                 0x1128
#define ICAP_TIMEFILL                      0x112a
#define ICAP_BITDEPTH                      0x112b
#define ICAP_BITDEPTHREDUCTION             0x112c
#define ICAP_UNDEFINEDIMAGESIZE            0x112d
#define ICAP_IMAGEDATASET                  0x112e
#define ICAP_EXTIMAGEINFO                  0x112f
#define ICAP_MINIMUMHEIGHT                 0x1130
#define ICAP_MINIMUMWIDTH                  0x1131
#define ICAP_AUTODISCARDBLANKPAGES         0x1134
#define ICAP_FLIPROTATION                  0x1136
#define ICAP_BARCODEDETECTIONENABLED       0x1137
#define ICAP_SUPPORTEDBARCODETYPES         0x1138
#define ICAP_BARCODEMAXSEARCHPRIORITIES    0x1139
#define ICAP_BARCODESEARCHPRIORITIES       0x113a
#define ICAP_BARCODESEARCHMODE             0x113b
#define ICAP_BARCODEMAXRETRIES             0x113c
#define ICAP_BARCODETIMEOUT                0x113d
#define ICAP_ZOOMFACTOR                    0x113e
#define ICAP_PATCHCODEDETECTIONENABLED     0x113f
#define ICAP_SUPPORTEDPATCHCODETYPES       0x1140
#define ICAP_PATCHCODEMAXSEARCHPRIORITIES  0x1141
#define ICAP_PATCHCODESEARCHPRIORITIES     0x1142
#define ICAP_PATCHCODESEARCHMODE           0x1143
#define ICAP_PATCHCODEMAXRETRIES           0x1144
#define ICAP_PATCHCODETIMEOUT              0x1145
#define ICAP_FLASHUSED2                    0x1146
#define ICAP_IMAGEFILTER                   0x1147
#define ICAP_NOISEFILTER                   0x1148
#define ICAP_OVERSCAN                      0x1149
#define ICAP_AUTOMATICBORDERDETECTION      0x1150
#define ICAP_AUTOMATICDESKEW               0x1151
#define ICAP_AUTOMATICROTATE               0x1152
#define ACAP_AUDIOFILEFORMAT               0x1201
#define ACAP_XFERMECH                      0x1202

// Boolean values of TW_BOOL.
#define TWAIN_TRUE 1
#define TWAIN_FALSE 0

// ICAP_COMPRESSION
#define TWCP_NONE 0

// ICAP_SUPPORTEDSIZES values
#define TWSS_NONE 0
#define TWSS_A4LETTER 1
#define TWSS_B5LETTER 2
#define TWSS_USLETTER 3
#define TWSS_USLEGAL 4
#define TWSS_A5 5
#define TWSS_B4 6
#define TWSS_B6 7
#define TWSS_USLEDGER 9
#define TWSS_USEXECUTIVE 10
#define TWSS_A3 11
#define TWSS_B3 12
#define TWSS_A6 13
#define TWSS_C4 14
#define TWSS_C5 15
#define TWSS_C6 16

// The standard's protocol version announced by korven.
#define TWON_PROTOCOLMAJOR 1
#define TWON_PROTOCOLMINOR 8

// ---- Layout checks ------------------------------------------------------------------------------

static_assert(sizeof(TW_FIX32) == 4);
static_assert(sizeof(TW_FRAME) == 16);
static_assert(sizeof(TW_VERSION) == 42 && offsetof(TW_VERSION, Info) == 8);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Version) == 4 && offsetof(TW_IDENTITY, ProtocolMajor) == 46 &&
              offsetof(TW_IDENTITY, SupportedGroups) == 50 && offsetof(TW_IDENTITY, Manufacturer) == 54 &&
              offsetof(TW_IDENTITY, ProductFamily) == 88 && offsetof(TW_IDENTITY, ProductName) == 122);
static_assert(sizeof(TW_CAPABILITY) == 8 && offsetof(TW_CAPABILITY, hContainer) == 4);
static_assert(sizeof(TW_ONEVALUE) == 6 && offsetof(TW_ONEVALUE, Item) == 2);
static_assert(sizeof(TW_RANGE) == 22 && offsetof(TW_RANGE, CurrentValue) == 18);
static_assert(offsetof(TW_ENUMERATION, CurrentIndex) == 6 && offsetof(TW_ENUMERATION, DefaultIndex) == 10 &&
              offsetof(TW_ENUMERATION, ItemList) == 14);
static_assert(offsetof(TW_ARRAY, NumItems) == 2 && offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_IMAGEINFO) == 42 && offsetof(TW_IMAGEINFO, ImageWidth) == 8 &&
              offsetof(TW_IMAGEINFO, SamplesPerPixel) == 16 && offsetof(TW_IMAGEINFO, BitsPerSample) == 18 &&
              offsetof(TW_IMAGEINFO, BitsPerPixel) == 34 && offsetof(TW_IMAGEINFO, PixelType) == 38);
static_assert(sizeof(TW_IMAGELAYOUT) == 28 && offsetof(TW_IMAGELAYOUT, DocumentNumber) == 16);
static_assert(sizeof(TW_USERINTERFACE) == 8 && offsetof(TW_USERINTERFACE, hParent) == 4);
static_assert(sizeof(TW_EVENT) == sizeof(void*) + 2 && offsetof(TW_EVENT, TWMessage) == sizeof(void*));
static_assert(sizeof(TW_PENDINGXFERS) == 6 && offsetof(TW_PENDINGXFERS, Reserved) == 2);
static_assert(sizeof(TW_STATUS) == 4);
static_assert(sizeof(TW_SETUPMEMXFER) == 12);
static_assert(sizeof(TW_MEMORY) == 8 + sizeof(void*));
static_assert(sizeof(TW_IMAGEMEMXFER) == 26 + sizeof(TW_MEMORY) && offsetof(TW_IMAGEMEMXFER, Memory) == 26);

#endif  // KORVEN_TWAINH_H
