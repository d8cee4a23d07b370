#include "qirLayout.h"

#include <string>
#include <unistd.h>

#include "qirError.h"
#include "qirStatus.h"

namespace {

std::string MenuPath(const char* name)
{
    std::string path = "Menu.";
    if (name) path += name;
    return path;
}

} // namespace

qirLayout::qirLayout(const qirPath& path) : qirObject(66), path_(path), tree_(nullptr)
{
    Reload();
}

qirLayout::qirLayout(const qirLayout& other)
    : qirObject(other), path_(other.path_), tree_(new qirConfiguration(other.tree_))
{
}

qirLayout& qirLayout::operator=(const qirLayout& other)
{
    if (this == &other) return *this;
    path_ = other.path_;
    qirConfiguration* copy = new qirConfiguration(other.tree_);
    delete tree_;
    tree_ = copy;
    return *this;
}

qirLayout::~qirLayout()
{
    int r = Save();
    if (r != qirOK && qirLog)
        qirLog->Report(qirLogError, "Can't save layout file: %s (status %d)", path_.Text() ? path_.Text() : "", r);
    delete tree_;
}

void qirLayout::Reload()
{
    delete tree_;
    tree_ = new qirConfiguration("Layout");
    const char* file = path_.Text();
    if (file && *file && access(file, F_OK) == 0) tree_->Load(file);
}

int qirLayout::Save() const
{
    const char* file = path_.Text();
    if (!file || !*file) return qirCannotOpen;
    return tree_->Save(file);
}

void qirLayout::SetMenuFlag(const char* name, int flag)
{
    tree_->Set(MenuPath(name).c_str(), flag ? "Yes" : "No", 0);
}

void qirLayout::SetMenuInt(const char* name, int value)
{
    tree_->SetInt(MenuPath(name).c_str(), value, 0);
}

int qirLayout::MenuFlag(const char* name, int* missing) const
{
    if (missing) *missing = 0;
    qirString value = tree_->Get(MenuPath(name).c_str(), 0);
    if (value.IsEmpty()) {
        if (missing) *missing = 1;
        return 1;
    }
    return value.EqualsIgnoreCase("yes") ? 1 : 0;
}

int qirLayout::MenuInt(const char* name, int* missing) const
{
    if (missing) *missing = 0;
    int value = 0;
    if (tree_->GetInt(MenuPath(name).c_str(), &value, 0) != qirOK) {
        if (missing) *missing = 1;
        return 0;
    }
    return value;
}
