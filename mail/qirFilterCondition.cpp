#include "qirFilterCondition.h"

#include "qirAddress.h"
#include "qirHeaderFields.h"
#include "qirMsg.h"
#include "qirStatus.h"

#include <cstring>
#include <strings.h>

namespace {

// The length of a field name without the blanks around it and one colon at
// its end: "X-Mailer", "x-mailer:" and " X-Mailer: " all name one field.
size_t BareName(const char* name, const char** start)
{
    while (*name == ' ' || *name == '\t') ++name;
    size_t n = strlen(name);
    auto trim = [&] {
        while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t')) --n;
    };
    trim();
    if (n > 0 && name[n - 1] == ':') --n;
    trim();
    *start = name;
    return n;
}

// The value of the first field named as name is, whoever typed it: the
// colon is optional and case does not count, as in the header itself.
const qirString* FieldValue(const qirHeaderFields& fields, const char* name)
{
    const char* want;
    size_t n = BareName(name, &want);
    if (n == 0) return nullptr;
    for (qirPair* p = fields.First(); p; p = qirHeaderFields::Next(p)) {
        if (!p->Key() || !p->Key()->Text()) continue;
        const char* have;
        if (BareName(p->Key()->Text(), &have) == n && strncasecmp(have, want, n) == 0) return p->Value();
    }
    return nullptr;
}

int AnyMailbox(const qirList* list, const qirWildcard& pattern)
{
    if (!list) return 0;
    for (qirObject* o = list->First(); o; o = qirList::Next(o))
        if (pattern.Match(static_cast<const qirAddress*>(o)->Mailbox().Text())) return 1;
    return 0;
}

} // namespace

qirFilterCondition::qirFilterCondition() : qirObject(31) {}

qirFilterCondition::qirFilterCondition(int fields, qirWildcard pattern, qirString otherFieldName)
    : qirObject(31), fields_(fields), otherFieldName_(otherFieldName), pattern_(pattern)
{
    if ((fields_ & OtherField) && otherFieldName_.IsEmpty()) status_ = qirNotOpen;
}

qirFilterCondition::qirFilterCondition(const qirFilterCondition& other)
    : qirObject(31), fields_(other.fields_), otherFieldName_(other.otherFieldName_), pattern_(other.pattern_),
      status_(other.status_)
{
}

qirFilterCondition& qirFilterCondition::operator=(const qirFilterCondition& other)
{
    fields_ = other.fields_;
    pattern_ = other.pattern_;
    otherFieldName_ = other.otherFieldName_;
    return *this;
}

qirFilterCondition::~qirFilterCondition() {}

int qirFilterCondition::Matches(const qirMsg& msg) const
{
    if ((fields_ & SubjectField) && pattern_.Match(msg.Subject() ? msg.Subject()->Text() : "")) return 1;
    if ((fields_ & OtherField) && !otherFieldName_.IsEmpty() && msg.Fields()) {
        const qirString* value = FieldValue(*msg.Fields(), otherFieldName_.Text());
        if (value && pattern_.Match(value->Text())) return 1;
    }
    if ((fields_ & ToField) && AnyMailbox(msg.To(), pattern_)) return 1;
    if ((fields_ & FromField) && AnyMailbox(msg.From(), pattern_)) return 1;
    if ((fields_ & ReplyToField) && AnyMailbox(msg.ReplyTo(), pattern_)) return 1;
    return 0;
}
