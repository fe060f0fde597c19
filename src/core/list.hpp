// The singly linked lists of the handle objects: lines of a file and
// properties of a line, each held by its first and last node.
#pragma once

// Takes node out of the list [first, last]; a node not in it changes
// nothing. The node's own link is left as it was.
template <class Node> void tiUnlink(Node*& first, Node*& last, const Node* node) {
    Node* before = nullptr;
    if (first == node) {
        first = node->next;
    } else {
        for (before = first; before != nullptr && before->next != node; before = before->next) {
        }
        if (before == nullptr) {
            return;
        }
        before->next = node->next;
    }
    if (last == node) {
        last = before;
    }
}
