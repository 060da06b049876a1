#pragma once

class CGraph;
class QPagedPaintDevice;

/// Paints the graph's one print page on a paged device (a printer, a preview, a PDF writer):
/// the device's page margins become its own unprintable margins (none for a PDF), never Qt's
/// default ones, so that the painter's origin is the corner of the printable area; the canvas
/// reports the physical paper as its page. False when painting cannot begin on the device.
bool PrintGraphPage(QPagedPaintDevice& device, CGraph& graph);
