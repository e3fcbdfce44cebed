#pragma once

// Which white space is layout and which is content. Blank text is layout only inside
// element-only content: an element with markup children and no other text, not under
// xml:space="preserve", that the internal subset does not declare as holding text (#PCDATA) or
// ANY. Layout is dropped on load and laid out afresh on save; all other white space is content,
// kept exactly, and nothing is added to it.

#include <libxml/tree.h>

#include <vector>

namespace xmlimpl {

// Removes the layout text of a freshly parsed document.
void dropLayoutText(xmlDocPtr doc);

// For the time of writing a subtree, keeps the writer from indenting content that is not
// element-only. The writer leaves an element unindented when it holds a text node, so each such
// element gets an empty one, taken away again afterwards.
class LayoutMarks {
public:
    explicit LayoutMarks(xmlNodePtr root);
    ~LayoutMarks();
    LayoutMarks(const LayoutMarks&) = delete;
    LayoutMarks& operator=(const LayoutMarks&) = delete;

private:
    std::vector<xmlNodePtr> m_marks;
};

} // namespace xmlimpl
