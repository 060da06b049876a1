// Mouse decisions of the graph (placeholder bodies until the mouse layer lands).
#include "graph.h"

SMouseAction CGraph::OnLButtonDown(int, SPoint) {
    return {};
}
SMouseAction CGraph::OnMouseMove(int, SPoint) {
    return {};
}
SMouseAction CGraph::OnLButtonUp(int, SPoint) {
    return {};
}
SMouseAction CGraph::OnLButtonDblClk(int, SPoint) {
    return {};
}
SMouseAction CGraph::OnRButtonDown(int, SPoint) {
    return {};
}
