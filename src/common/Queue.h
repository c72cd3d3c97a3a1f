// A doubly linked queue. The node sits at the start of the record it links
// and points back at it through q_body. A list is a pointer to its first
// node, null when empty; the first node's q_back and the last node's q_forw
// are null.
#pragma once

struct tag_queue {
  tag_queue* q_forw;
  tag_queue* q_back;
  void* q_body;
};

// q_body = body, both links null.
void init_que(tag_queue* node, void* body);
// Links the node behind the last node, or as the only node.
void append_que(tag_queue** head, tag_queue* node);
// Into an empty list as the only node; with a point right after it; with a
// null point in front of the first node (which makes it the head).
void insert_que(tag_queue** head, tag_queue* point, tag_queue* node);
// Unlinks the node (the head moves on when it was first) and clears its
// links.
void remove_que(tag_queue** head, tag_queue* node);
// The number of nodes from this one to the end.
int count_que(const tag_queue* node);
