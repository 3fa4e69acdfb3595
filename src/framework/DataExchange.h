#pragma once
// One pass of data exchange between a dialog's controls and its members.
#include "framework/Dialog.h"

#include <cstdint>
#include <string>

namespace fw {

class DataExchange
{
public:
    DataExchange(Dialog& dialog, bool saveAndValidate) : m_dialog(dialog), m_saveAndValidate(saveAndValidate)
    {
    }

    bool SavesAndValidates() const { return m_saveAndValidate; }
    bool Failed() const { return m_failed; }
    Dialog& GetDialog() const { return m_dialog; }

    // Reports a field that cannot be read: the user is told, the field gets the focus and the
    // rest of this exchange is skipped, so later members keep their values.
    void Fail(HWND control, const char* message);

private:
    Dialog& m_dialog;
    bool m_saveAndValidate;
    bool m_failed = false;
};

void DdxText(DataExchange& exchange, int id, std::string& value);
void DdxText(DataExchange& exchange, int id, std::int32_t& value);
// Binds a control member to its window the first time the exchange runs.
void DdxControl(DataExchange& exchange, int id, Window& control);

} // namespace fw
