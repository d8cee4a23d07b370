#include "qirKeyboard.h"

#include <algorithm>

#include "qirConfiguration.h"

qirKeyboard::qirKeyboard() {
    for (int i = 0; i < 256; ++i)
        map_[i] = static_cast<unsigned char>(i);
}

qirKeyboard::qirKeyboard(const qirConfiguration* node) : qirKeyboard() {
    if (!node)
        return;
    qirString name = node->Name();
    name_ = name.Text() ? name.Text() : "";
    qirString hot = node->Get("HotKey");
    hotKey_ = hot.Text() ? hot.Text() : "";
    qirString from = node->Get("MainKeys"), to = node->Get("AlternativeKeys");
    if (!from.Text() || !to.Text())
        return;
    std::string a(from.Text()), b(to.Text());
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        map_[static_cast<unsigned char>(a[i])] = static_cast<unsigned char>(b[i]);
}
