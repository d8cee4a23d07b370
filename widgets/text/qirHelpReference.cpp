#include "qirHelpReference.h"

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFormat.h"

#include <string>

#ifndef QIR_DATA_PREFIX
#define QIR_DATA_PREFIX "/usr/local/lib"
#endif

qirHelpReference::qirHelpReference(qirString t, qirPath p)
    : qirObject(0), target(std::move(p)), title(std::move(t)) {}

qirHelpReference::qirHelpReference(const qirHelpReference& other)
    : qirObject(0), target(other.target), title(other.title) {}

qirHelpReference& qirHelpReference::operator=(const qirHelpReference& other) {
    target = other.target;
    title = other.title;
    return *this;
}

qirString qirHelpReference::Scheme() const {
    int colon = target.IndexOf(':');
    return colon < 0 ? qirString("") : target.Left(colon);
}

qirString qirHelpReference::Rest() const {
    int colon = target.LastIndexOf(':');
    return colon < 0 ? qirString("") : target.From(colon + 1);
}

// ----------------------------------------------------- qirHelpReferenceNode

void qirHelpReferenceNode::Follow() {
    if (owner_)
        owner_->Follow(reference_);
}

void qirHelpReferenceNode::Busy() {
    if (owner_)
        owner_->Busy();
}

void qirHelpReferenceNode::Unbusy() {
    if (owner_)
        owner_->Unbusy();
}

// ----------------------------------------------------- qirHelpReferenceList

qirHelpReferenceList::qirHelpReferenceList(qirHelpHost* host)
    : helpPath_(ConfiguredHelpPath()), host_(host) {}

qirPath qirHelpReferenceList::ConfiguredHelpPath() {
    qirString value = qirConfig.Get("HelpPath");
    if (value.IsEmpty())
        return qirPath(".");
    const char* v = value.Data();
    if (v[0] == '/' || v[0] == '~')
        return qirPath(value);
    return qirPath((std::string(QIR_DATA_PREFIX) + "/" + v).c_str());
}

qirHelpReferenceNode* qirHelpReferenceList::Add(qirHelpReference reference) {
    qirHelpReferenceNode* node = new qirHelpReferenceNode(reference, this);
    Append(node);
    return node;
}

void qirHelpReferenceList::Busy() {
    if (host_ && !cursorShown_) {
        host_->LinkCursor(1);
        cursorShown_ = 1;
    }
}

void qirHelpReferenceList::Unbusy() {
    if (host_ && cursorShown_) {
        host_->LinkCursor(0);
        cursorShown_ = 0;
    }
}

qirString qirHelpReferenceList::Argument(const qirHelpReference& reference, const qirPath& helpPath,
                                         int configured) {
    qirString scheme = reference.Scheme();
    qirString rest = reference.Rest();
    const char* r = rest.Data() ? rest.Data() : "";
    // With two colons or more only the text after the last one counts.
    const int several = reference.target.IndexOf(':') != reference.target.LastIndexOf(':');
    if (several && configured)
        return rest;
    if (!several && r[0] == '/' && r[1] == '/')
        return reference.target;
    if (scheme == "http" || scheme == "ftp")
        return scheme.Concat("://").Concat(rest);
    if (!several && r[0] == '/')
        return rest;
    return qirString(helpPath).Concat("/").Concat(rest);
}

int qirHelpReferenceList::FillFormat(const qirString& format, qirString* command) {
    if (qirFormatArgumentCount(format.Data()) != 1)
        return -1;
    *command = qirFillFormat(format.Data(), {"\"$1\""}).c_str();
    return 0;
}

void qirHelpReferenceList::Follow(qirHelpReference reference) {
    Unbusy();
    if (!host_)
        return;
    if (!reference.IsOutside()) {
        host_->ShowLater(reference);
        return;
    }
    qirString scheme = reference.Scheme();
    qirString format;
    int configured = 0;
    // A direct child: a scheme holding dots names no other key.
    if (qirConfiguration* programs = qirConfig.Find("HelpReferences"))
        if (qirConfiguration* entry = programs->Child(scheme.Data() ? scheme.Data() : "")) {
            configured = 1;
            format = entry->Value(0);
        }
    if (!configured) {
        if (scheme == "http" || scheme == "ftp" || scheme == "html")
            format = "netscape %s";
        else if (scheme == "img" || scheme == "xv")
            format = "xv %s";
        else if (scheme == "mailto") {
            host_->Compose(reference.Rest());
            return;
        }
    }
    if (format.IsEmpty()) {
        // No program for it: the manager reports the unknown scheme.
        host_->ShowLater(reference);
        return;
    }
    qirString command;
    if (FillFormat(format, &command) != 0) {
        if (qirLog)
            qirLog->Report(qirLogError, "The program for \"%s\" references must hold one %%s for the reference",
                           scheme.Data());
        return;
    }
    qirString argument = Argument(reference, helpPath_, configured);
    if (qirLog) {
        // The command as a shell would read it unquoted; it runs with the
        // reference as one argument.
        std::string shown = qirFillFormat(format.Data(), {argument.Data() ? argument.Data() : ""}) + " &";
        qirLog->Report(qirLogInfo, "Runing \"%s\"!", shown.c_str());
    }
    host_->Run(command, argument);
}
