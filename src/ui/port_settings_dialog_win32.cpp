// The modal dialog that edits one channel's serial settings in the working copy.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/port_detect_model.h"
#include "ui/port_settings_model.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "portconfig page";
constexpr int kParityItems = 5;

void FillList(HWND dialog, int listId, const std::vector<PortListItem>& items) {
    HWND list = GetDlgItem(dialog, listId);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const PortListItem& item : items)
        AddComboItem(list, item.text.c_str(), item.value);
}

// The emulation list is sorted by its text, so its positions are found through the values.
int EmulationPositionOf(HWND list, int value) {
    int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (static_cast<int>(SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) == value)
            return i;
    }
    return -1;
}

std::string CodePageText(const char* key) {
    char text[128];
    langPack.LoadText(text, sizeof text, key, kSection);
    return text;
}

ChannelConfig& EditedRecord(PropertySheetState* sheet) {
    return sheet->workingChannels[sheet->editChannel];
}

std::string PortText(HWND dialog, bool selectionChanging);

// The Detect button's listening, on a thread of its own so that the dialog stays responsive. The
// dialog is modal and opens one at a time, so one run serves it.
constexpr UINT kDetectProgressMessage = WM_APP + 1;
constexpr UINT kDetectDoneMessage = WM_APP + 2;

struct DetectRun {
    std::thread worker;
    std::atomic<bool> stop{false};
    bool cancelled = false;  // the installer stopped it: nothing is filled
    std::mutex lock;         // guards what follows while the worker runs
    ListenProgress progress;
    DetectFindings findings;
    std::string problem;
    int result = 0;
    // The receipt end found, stored by OK unless the pattern dialog was used since.
    DetectedPattern pattern;
    // The channel that captured the port, paused while the port listens; resumed as soon as the
    // listening is over, whatever ended it.
    std::unique_ptr<DetectCapturePause> pause;
};
DetectRun detectRun;

std::string DialogText(const char* key) {
    char text[512];
    langPack.LoadText(text, sizeof text, key, kSection);
    return text;
}

void ShowDetectStatus(HWND dialog, const std::string& text) {
    SetDlgItemTextA(dialog, IDC_DETECT_STATUS, text.c_str());
}

bool Detecting() {
    return detectRun.worker.joinable();
}

// While the port listens, only the Detect button (now a Cancel) and the dialog's Cancel work.
void EnableForDetection(HWND dialog, bool detecting) {
    const int ids[] = {IDOK,
                       IDC_PORT_LIST,
                       IDC_BAUD_LIST,
                       IDC_DATABITS_LIST,
                       IDC_PARITY_LIST,
                       IDC_STOPBITS_LIST,
                       IDC_EMULATION_LIST,
                       IDC_CODEPAGE_LIST,
                       IDC_PATTERN_SETTING};
    for (int id : ids)
        EnableWindow(GetDlgItem(dialog, id), !detecting);
    SetDlgItemTextA(dialog, IDC_DETECT, DialogText(detecting ? "detectstop" : "detect").c_str());
}

int PausedCamera() {
    return detectRun.pause != nullptr ? detectRun.pause->Channel() + 1 : 0;
}

void StartDetection(PropertySheetState* sheet, HWND dialog) {
    std::string port = PortText(dialog, false);
    detectRun.pause = std::make_unique<DetectCapturePause>(sheet->channelTable);
    detectRun.pause->Pause(port);
    detectRun.stop = false;
    detectRun.cancelled = false;
    detectRun.progress = ListenProgress();
    detectRun.progress.totalSeconds = kDefaultListenSeconds;
    SendDlgItemMessageA(dialog, IDC_DETECT_PROGRESS, PBM_SETRANGE32, 0, 100);
    SendDlgItemMessageA(dialog, IDC_DETECT_PROGRESS, PBM_SETPOS, 0, 0);
    ShowDetectStatus(dialog, DetectProgress(detectRun.progress, DialogText, PausedCamera()).text);
    EnableForDetection(dialog, true);
    int recorderPage = static_cast<int>(GetACP());
    detectRun.worker = std::thread([dialog, port, recorderPage] {
        DetectFindings findings;
        std::string problem;
        int result = ListenOnPort(
            port, kDefaultListenSeconds, recorderPage,
            [dialog](const ListenProgress& progress) {
                {
                    std::lock_guard<std::mutex> hold(detectRun.lock);
                    detectRun.progress = progress;
                }
                PostMessageA(dialog, kDetectProgressMessage, 0, 0);
            },
            &findings, &problem, &detectRun.stop);
        {
            std::lock_guard<std::mutex> hold(detectRun.lock);
            detectRun.findings = findings;
            detectRun.problem = problem;
            detectRun.result = result;
        }
        PostMessageA(dialog, kDetectDoneMessage, 0, 0);
    });
}

// Ends a listening that runs (the port's reads give up within a fraction of a second).
void StopDetection(bool cancel) {
    if (!Detecting())
        return;
    detectRun.cancelled = cancel;
    detectRun.stop = true;
    detectRun.worker.join();
    detectRun.pause.reset();
}

int EmulationPositionOf(HWND list, int value);

void OnDetectProgress(HWND dialog) {
    ListenProgress progress;
    {
        std::lock_guard<std::mutex> hold(detectRun.lock);
        progress = detectRun.progress;
    }
    DetectProgressView view = DetectProgress(progress, DialogText, PausedCamera());
    SendDlgItemMessageA(dialog, IDC_DETECT_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(view.percent), 0);
    ShowDetectStatus(dialog, view.text);
}

int Selection(HWND dialog, int listId);

void OnDetectDone(HWND dialog) {
    if (detectRun.worker.joinable())
        detectRun.worker.join();
    detectRun.pause.reset();
    EnableForDetection(dialog, false);
    SendDlgItemMessageA(dialog, IDC_DETECT_PROGRESS, PBM_SETPOS, 100, 0);
    if (detectRun.cancelled) {
        ShowDetectStatus(dialog, DialogText("detectstopped"));
        return;
    }
    if (detectRun.result == 0) {
        ShowDetectStatus(dialog, DialogText("detectfailed") + " " + detectRun.problem);
        return;
    }
    PortSelections s;
    s.baudRate = Selection(dialog, IDC_BAUD_LIST);
    s.dataBits = Selection(dialog, IDC_DATABITS_LIST);
    s.parity = Selection(dialog, IDC_PARITY_LIST);
    s.stopBits = Selection(dialog, IDC_STOPBITS_LIST);
    s.codePage = Selection(dialog, IDC_CODEPAGE_LIST);
    DetectFill fill = FillFromFindings(detectRun.findings, kParityItems, &s, DialogText);
    if (fill.line) {
        SendDlgItemMessageA(dialog, IDC_BAUD_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.baudRate), 0);
        SendDlgItemMessageA(dialog, IDC_DATABITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.dataBits), 0);
        SendDlgItemMessageA(dialog, IDC_PARITY_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.parity), 0);
        SendDlgItemMessageA(dialog, IDC_STOPBITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.stopBits), 0);
    }
    if (fill.emulation) {
        int code = EmulationItems()[static_cast<size_t>(s.emulation)].value;
        int position = EmulationPositionOf(GetDlgItem(dialog, IDC_EMULATION_LIST), code);
        SendDlgItemMessageA(dialog, IDC_EMULATION_LIST, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    }
    if (fill.codePage)
        SendDlgItemMessageA(dialog, IDC_CODEPAGE_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.codePage), 0);
    if (fill.pattern.found)
        detectRun.pattern = fill.pattern;
    ShowDetectStatus(dialog, fill.message);
}

// The controls that only a serial port has.
const int kLineControls[] = {IDC_BAUD_LABEL,   IDC_BAUD_LIST,   IDC_DATABITS_LABEL, IDC_DATABITS_LIST,
                             IDC_PARITY_LABEL, IDC_PARITY_LIST, IDC_STOPBITS_LABEL, IDC_STOPBITS_LIST,
                             IDC_FLOW_LABEL,   IDC_FLOW_DTRDSR, IDC_FLOW_RTSCTS,    IDC_FLOW_XONXOFF};

// The port field's text: the item being chosen while the list changes its selection (the edit
// field follows only afterwards), else what the field shows.
std::string PortText(HWND dialog, bool selectionChanging) {
    HWND list = GetDlgItem(dialog, IDC_PORT_LIST);
    int item = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (selectionChanging && item >= 0) {
        char text[kChannelTextSize] = {};
        if (SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(item), 0) < kChannelTextSize)
            SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
        return text;
    }
    std::string text = ControlText(dialog, IDC_PORT_LIST, kChannelTextSize - 1);
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A network source has no line settings; only it has allowed senders.
void ShowPortKind(HWND dialog, bool selectionChanging) {
    bool network = PortIsNetwork(PortText(dialog, selectionChanging));
    for (int id : kLineControls)
        EnableWindow(GetDlgItem(dialog, id), !network);
    EnableWindow(GetDlgItem(dialog, IDC_ALLOWED_LABEL), network);
    EnableWindow(GetDlgItem(dialog, IDC_ALLOWED_SENDERS), network);
    // Detection listens on a serial port; a network source's bytes come only while it runs.
    EnableWindow(GetDlgItem(dialog, IDC_DETECT), !network);
}

void OnInit(PropertySheetState* sheet, HWND dialog) {
    sheet->CenterDialog(dialog);
    detectRun.pattern = DetectedPattern();
    char title[128];
    langPack.LoadText(title, sizeof title, "title", kSection);
    SetWindowTextA(dialog, title);

    const DlgItemShape shapes[] = {{IDC_PORT_LABEL, 0, "portname", kSection},
                                   {IDC_PORT_LIST, 0, nullptr, nullptr},
                                   {IDC_BAUD_LABEL, 0, "baudrate", kSection},
                                   {IDC_BAUD_LIST, 0, nullptr, nullptr},
                                   {IDC_DATABITS_LABEL, 0, "databits", kSection},
                                   {IDC_DATABITS_LIST, 0, nullptr, nullptr},
                                   {IDC_PARITY_LABEL, 0, "parity", kSection},
                                   {IDC_PARITY_LIST, 0, nullptr, nullptr},
                                   {IDC_STOPBITS_LABEL, 0, "stopbits", kSection},
                                   {IDC_STOPBITS_LIST, 0, nullptr, nullptr},
                                   {IDC_FLOW_LABEL, 0, "flowcontrol", kSection},
                                   {IDC_FLOW_DTRDSR, 0, "dtrdsr", kSection},
                                   {IDC_FLOW_RTSCTS, 0, "rtscts", kSection},
                                   {IDC_FLOW_XONXOFF, 0, "xonxoff", kSection},
                                   {IDC_PRINTER_LABEL, 0, "printer", kSection},
                                   {IDC_EMULATION_LIST, 0, "emulation", kSection},
                                   {IDOK, 0, "ok", kSection},
                                   {IDCANCEL, 0, nullptr, nullptr},
                                   {IDC_PATTERN_LABEL, 0, "pattern", kSection},
                                   {IDC_PATTERN_SETTING, 0, "setting", kSection},
                                   {IDC_ALLOWED_LABEL, 0, "allowedsenders", kSection},
                                   {IDC_ALLOWED_SENDERS, 0, nullptr, nullptr},
                                   {IDC_CODEPAGE_LABEL, 0, "codepage", kSection},
                                   {IDC_CODEPAGE_LIST, 0, nullptr, nullptr},
                                   {IDC_IDLE_LABEL, 0, "idleend", kSection},
                                   {IDC_IDLE_SECONDS, 0, nullptr, nullptr},
                                   {IDC_IDLE_HINT, 0, "idlehint", kSection},
                                   {IDC_DETECT, 0, "detect", kSection},
                                   {IDC_DETECT_STATUS, 0, "detecthint", kSection}};
    langPack.ShapeDialogItems(dialog, shapes, static_cast<int>(sizeof shapes / sizeof shapes[0]));

    FillList(dialog, IDC_PORT_LIST, PortNameItems());
    FillList(dialog, IDC_BAUD_LIST, BaudRateItems());
    FillList(dialog, IDC_DATABITS_LIST, DataBitsItems());
    HWND parity = GetDlgItem(dialog, IDC_PARITY_LIST);
    SendMessageA(parity, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kParityItems; ++i) {
        char text[64];
        langPack.LoadText(text, sizeof text, kParityKeys[i], kSection);
        AddComboItem(parity, text, i);
    }
    FillList(dialog, IDC_STOPBITS_LIST, StopBitsItems());
    FillList(dialog, IDC_EMULATION_LIST, EmulationItems());
    FillList(dialog, IDC_CODEPAGE_LIST,
             CodePageItems(CodePageText("codepagedefault"), CodePageText("codepagenone")));

    const ChannelConfig& record = EditedRecord(sheet);
    PortSelections s = SelectionsForRecord(record, kParityItems);
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_LIMITTEXT, kChannelTextSize - 1, 0);
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.port), 0);
    if (s.port < 0)
        SetDlgItemTextA(dialog, IDC_PORT_LIST, record.portName);  // a network source or a typed name
    SendDlgItemMessageA(dialog, IDC_ALLOWED_SENDERS, EM_LIMITTEXT, kAllowedSendersSize - 1, 0);
    SetDlgItemTextA(dialog, IDC_ALLOWED_SENDERS, record.allowedSenders);
    SendDlgItemMessageA(dialog, IDC_BAUD_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.baudRate), 0);
    SendDlgItemMessageA(dialog, IDC_DATABITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.dataBits), 0);
    SendDlgItemMessageA(dialog, IDC_PARITY_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.parity), 0);
    SendDlgItemMessageA(dialog, IDC_STOPBITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.stopBits), 0);
    int emulation = EmulationPositionOf(GetDlgItem(dialog, IDC_EMULATION_LIST), record.emulation);
    SendDlgItemMessageA(dialog, IDC_EMULATION_LIST, CB_SETCURSEL, static_cast<WPARAM>(emulation), 0);
    SendDlgItemMessageA(dialog, IDC_CODEPAGE_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.codePage), 0);
    SetDlgItemInt(dialog, IDC_IDLE_SECONDS, static_cast<UINT>(s.idleSeconds), FALSE);
    SendDlgItemMessageA(dialog, IDC_IDLE_SECONDS, EM_LIMITTEXT, 4, 0);
    CheckDlgButton(dialog, IDC_FLOW_DTRDSR, s.dtrDsr ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FLOW_RTSCTS, s.rtsCts ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FLOW_XONXOFF, s.xonXoff ? BST_CHECKED : BST_UNCHECKED);
    ShowPortKind(dialog, false);
}

int Selection(HWND dialog, int listId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0));
}

// A message box over the dialog: the text's first line from the language pack, then what is wrong.
void Complain(HWND dialog, const char* key, const std::string& what) {
    char text[256];
    langPack.LoadText(text, sizeof text, key, kSection);
    char title[128];
    langPack.LoadText(title, sizeof title, "title", kSection);
    MessageBoxA(dialog, (std::string(text) + "\n\n" + what).c_str(), title, MB_OK | MB_ICONWARNING);
}

void StoreAndClose(PropertySheetState* sheet, HWND dialog) {
    PortSelections s;
    s.port = Selection(dialog, IDC_PORT_LIST);
    // Text that no list item shows was typed; it is taken as it stands.
    std::string typed = PortText(dialog, false);
    std::vector<PortListItem> ports = PortNameItems();
    if (s.port < 0 || typed != ports[static_cast<size_t>(s.port)].text)
        s.portText = typed;
    std::string allowed = ControlText(dialog, IDC_ALLOWED_SENDERS, kAllowedSendersSize - 1);
    std::string bad;
    switch (CheckPortEntries(typed, PortIsNetwork(typed) ? allowed : std::string(), &bad)) {
        case 1:
            Complain(dialog, "badport", bad);
            return;  // the dialog stays open with what the user typed
        case 2:
            Complain(dialog, "badsenders", bad);
            return;
    }
    s.baudRate = Selection(dialog, IDC_BAUD_LIST);
    s.dataBits = Selection(dialog, IDC_DATABITS_LIST);
    s.parity = Selection(dialog, IDC_PARITY_LIST);
    s.stopBits = Selection(dialog, IDC_STOPBITS_LIST);
    // The model's emulation positions are its own order; map the sorted list's item by value.
    int emulationItem = Selection(dialog, IDC_EMULATION_LIST);
    s.emulation =
        emulationItem >= 0
            ? FindItemByValue(EmulationItems(),
                              static_cast<int>(SendDlgItemMessageA(dialog, IDC_EMULATION_LIST, CB_GETITEMDATA,
                                                                   static_cast<WPARAM>(emulationItem), 0)))
            : -1;
    s.codePage = Selection(dialog, IDC_CODEPAGE_LIST);
    char idle[16] = {};
    GetDlgItemTextA(dialog, IDC_IDLE_SECONDS, idle, sizeof idle);
    s.idleSeconds = ParseIdleSeconds(idle, EditedRecord(sheet).decoding.idleSeconds);
    s.dtrDsr = IsDlgButtonChecked(dialog, IDC_FLOW_DTRDSR) == BST_CHECKED;
    s.rtsCts = IsDlgButtonChecked(dialog, IDC_FLOW_RTSCTS) == BST_CHECKED;
    s.xonXoff = IsDlgButtonChecked(dialog, IDC_FLOW_XONXOFF) == BST_CHECKED;
    ChannelConfig& record = EditedRecord(sheet);
    StoreSelections(s, kParityItems, record);
    if (PortIsNetwork(record.portName))
        std::snprintf(record.allowedSenders, sizeof record.allowedSenders, "%s", allowed.c_str());
    if (detectRun.pattern.found && !PortIsNetwork(record.portName)) {
        record.patternFlags = detectRun.pattern.patternFlags;
        std::snprintf(record.patternText, sizeof record.patternText, "%s", detectRun.pattern.footer.c_str());
    }
    EndDialog(dialog, 1);
}

INT_PTR HandlePortSettings(PropertySheetState* sheet, HWND dialog, UINT message, WPARAM wParam,
                           LPARAM lParam) {
    if (sheet == nullptr)
        return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    if (!Detecting())
                        StoreAndClose(sheet, dialog);
                    return TRUE;
                case IDCANCEL:
                    StopDetection(true);
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_DETECT:
                    if (HIWORD(wParam) != BN_CLICKED)
                        return TRUE;
                    if (Detecting())
                        StopDetection(true);  // its end message fills nothing and says so
                    else
                        StartDetection(sheet, dialog);
                    return TRUE;
                case IDC_PORT_LIST:
                    if (HIWORD(wParam) == CBN_SELCHANGE || HIWORD(wParam) == CBN_EDITCHANGE)
                        ShowPortKind(dialog, HIWORD(wParam) == CBN_SELCHANGE);
                    return TRUE;
                case IDC_PATTERN_SETTING:
                    if (HIWORD(wParam) == BN_CLICKED && ShowPatternDialog(sheet, dialog) == 1)
                        detectRun.pattern = DetectedPattern();  // the installer's own choice wins
                    return TRUE;
            }
            break;
        case kDetectProgressMessage:
            if (Detecting())
                OnDetectProgress(dialog);
            return TRUE;
        case kDetectDoneMessage:
            OnDetectDone(dialog);
            return TRUE;
        case WM_DESTROY:
            StopDetection(true);
            return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowPortSettingsDialog(PropertySheetState* sheet, HWND owner) {
    return ShowModalDialog(IDD_PORT_SETTINGS, owner, ModalDialogProc<HandlePortSettings>, sheet);
}
