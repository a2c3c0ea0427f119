// "Recent uploads": the last uploads from the history file, newest first,
// each with its time, address and whether it was deleted. Copy puts the
// address on the clipboard, Open shows it in the browser, Delete deletes the
// image through its deletion address and marks it deleted.
#pragma once

#include <vector>

#include "framework/CDialog.h"
#include "upload/UploadHistory.h"

class CRecentUploadsDlg : public CDialog {
public:
    // historyPath: the file to list; UploadHistoryPath() in the program.
    explicit CRecentUploadsDlg(const CString& historyPath, CWnd* pParent = nullptr);

    BOOL OnInitDialog() override;
    static const MessageMap* Map();
    const MessageMap* GetMessageMap() const override { return Map(); }

    // One line of the list: time, address and state, separated by tabs.
    static CString LineFor(const UploadRecord& record);

private:
    void Fill(int select);
    // The chosen record, or null.
    const UploadRecord* Selected() const;
    void UpdateButtons();
    void OnCopy();
    void OnOpen();
    void OnDelete();

    CString m_strHistoryPath;
    std::vector<UploadRecord> m_records;
};
