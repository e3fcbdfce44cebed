#pragma once

// The browser engine is built as a module of its own (orvel-webengine.so) that the web view loads
// when it is first shown. Linked into the program, the engine would be loaded at every start, and
// with it the OpenGL driver, since the engine has Qt make its OpenGL share context as the
// application starts. The module gives one function: a new engine view, a QWebEngineView, whose
// `url` property loads a page.

class QWidget;

using CreateWebEngineView = QWidget* (*)(QWidget* parent);
inline constexpr const char* kCreateWebEngineView = "orvelCreateWebEngineView";
inline constexpr const char* kWebEngineModule = "orvel-webengine";
