// The details window: an update's description above its article page, as
// the catalog gives them. The page shows in the hosted WebBrowser control;
// where the control cannot be created or cannot show the page, the window
// opens all the same and the description is there to read.
#pragma once
#include <windows.h>

#include <string>

#include "details/WebBrowser.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"

class CDetailsDlg : public Dialog {
public:
    CDetailsDlg();
    ~CDetailsDlg() override;

    // The texts to show; call before the window is created.
    void SetDetails(const std::string& description, const std::string& articleUrl);

protected:
    // Shows the description and sends the browser to the article address,
    // an empty one included.
    BOOL OnInitDialog() override;
    bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // Puts the browser where the template's placeholder is.
    void CreateBrowser();

    Edit m_editDescription;
    CWebBrowser2 m_browser;
    std::string m_strArticleUrl;
    std::string m_strDescription;
};
