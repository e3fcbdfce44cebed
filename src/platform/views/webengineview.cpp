#include "platform/views/webengineview.h"

#include <QWebEngineView>

#include <type_traits>

extern "C" Q_DECL_EXPORT QWidget* orvelCreateWebEngineView(QWidget* parent) {
    return new QWebEngineView(parent);
}

// The loader calls it through this type.
static_assert(std::is_same_v<decltype(&orvelCreateWebEngineView), CreateWebEngineView>);
