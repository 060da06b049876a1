#!/usr/bin/env bash
# Makes sure a CUPS scheduler runs with two PDF queues (cups-pdf), "KEST_PDF" as the default and
# "KEST_PDF2" beside it, writing their PDFs to /var/spool/cups-pdf/<user>. Used by the tests of
# printing; works as root on a machine without systemd. Prints the output directory's parent.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

CONF=/etc/cups/cups-pdf.conf
OUT_LINE='Out /var/spool/cups-pdf/${USER}'
if ! grep -qxF "$OUT_LINE" "$CONF"; then
    # One known place for every user's output, root's included (the default is ~/PDF).
    $SUDO sed -i -E 's|^#?Out .*|'"$OUT_LINE"'|' "$CONF"
    grep -qxF "$OUT_LINE" "$CONF" || echo "$OUT_LINE" | $SUDO tee -a "$CONF" >/dev/null
fi
# cups-pdf otherwise writes root's jobs as the anonymous user.
$SUDO sed -i -E 's|^#?AnonUser .*|AnonUser root|' "$CONF"

if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    $SUDO mkdir -p /run/cups /var/spool/cups-pdf
    $SUDO /usr/sbin/cupsd
    for _ in $(seq 1 100); do
        lpstat -r 2>/dev/null | grep -q 'is running' && break
        sleep 0.1
    done
fi
lpstat -r | grep -q 'is running' || { echo "cupsd did not start" >&2; exit 1; }

PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
for q in KEST_PDF KEST_PDF2; do
    if ! lpstat -p "$q" >/dev/null 2>&1; then
        $SUDO lpadmin -p "$q" -v cups-pdf:/ -P "$PPD" -E
    fi
    $SUDO cupsenable "$q" 2>/dev/null || true
    $SUDO cupsaccept "$q" 2>/dev/null || true
done
$SUDO lpadmin -d KEST_PDF
echo /var/spool/cups-pdf
