// Edits one address book entry in place: its alias, address, full name,
// organisation and the kind of its address.
#ifndef QIR_ADDR_ENTRY_DIALOG_H
#define QIR_ADDR_ENTRY_DIALOG_H

#include "qirDialog.h"

class Button;
class TelltaleGroup;
class qirAddrBookEntry;
class qirFieldEditor;

class qirAddrEntryDialog : public qirDialog {
public:
    // The entry is not owned; a field shows the entry's text when it has
    // one, and the kind's radio button is chosen (Internet for a kind
    // other than 0 to 3).
    explicit qirAddrEntryDialog(qirAddrBookEntry* entry);
    ~qirAddrEntryDialog() override;

    // An alias or address holding a line break is refused with a warning
    // (the dialog stays posted).  Otherwise the four texts, trimmed on the
    // right, and the chosen kind go into the entry: accepted.
    void Ok(int = 0);
    // Leaves the entry as it is: the caller restores or drops it.
    void Cancel(int = 0);
    // Puts the keyboard focus on the alias field.
    void FocusAlias();

    qirFieldEditor* AliasField() const { return fields_[0]; }
    qirFieldEditor* AddressField() const { return fields_[1]; }
    qirFieldEditor* FullNameField() const { return fields_[2]; }
    qirFieldEditor* OrganisationField() const { return fields_[3]; }
    // Internet, Compuserve, FIDOnet, Unknown: one of them chosen.
    Button* KindButton(int kind) const { return kinds_[kind]; }

private:
    qirFieldEditor* fields_[4]; // alias, address, full name, organisation
    Button* kinds_[4];
    qirAddrBookEntry* entry_;
    TelltaleGroup* group_;      // referenced
};

#endif
