// The doubly linked queue the programs keep their records in.
#include "common/Queue.h"

#include "toolbox/invariant.h"

void init_que(tag_queue* node, void* body) {
  if (!node) return;
  node->q_forw = nullptr;
  node->q_back = nullptr;
  node->q_body = body;
}

void append_que(tag_queue** head, tag_queue* node) {
  if (!head || !node) return;
  node->q_forw = nullptr;
  if (!*head) {
    node->q_back = nullptr;
    *head = node;
    return;
  }
  tag_queue* last = *head;
  // A node already in the list would close it into a ring.
  TB_INVARIANT(last != node);
  while (last->q_forw) {
    last = last->q_forw;
    TB_INVARIANT(last != node);
  }
  last->q_forw = node;
  node->q_back = last;
}

void insert_que(tag_queue** head, tag_queue* point, tag_queue* node) {
  if (!head || !node) return;
  if (!*head) {
    node->q_forw = nullptr;
    node->q_back = nullptr;
    *head = node;
    return;
  }
  if (point) {
    node->q_back = point;
    node->q_forw = point->q_forw;
    if (point->q_forw) point->q_forw->q_back = node;
    point->q_forw = node;
    return;
  }
  node->q_back = nullptr;
  node->q_forw = *head;
  (*head)->q_back = node;
  *head = node;
}

void remove_que(tag_queue** head, tag_queue* node) {
  if (!head || !node) return;
  // Only the head has no predecessor: anything else is not in this list.
  TB_INVARIANT(node->q_back || *head == node);
  if (node->q_back) node->q_back->q_forw = node->q_forw;
  if (node->q_forw) node->q_forw->q_back = node->q_back;
  if (*head == node) *head = node->q_forw;
  node->q_forw = nullptr;
  node->q_back = nullptr;
}

int count_que(const tag_queue* node) {
  int n = 0;
  for (; node; node = node->q_forw) ++n;
  return n;
}
