#!/usr/bin/env bash
# Makes sure a CUPS scheduler runs with three PDF queues (cups-pdf), "KEST_PDF" as the default,
# "KEST_PDF2" beside it and "KEST_PDF_MARGIN", whose driver declares 12 pt unprintable margins on
# every side, writing their PDFs to /var/spool/cups-pdf/<user>. Used by the tests of printing;
# works as root on a machine without systemd. Prints the output directory's parent.
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
# The same driver with a printable area 12 pt inside every edge of every paper, as a real
# printer's driver declares it: the printed picture must then move by exactly that much.
MARGIN_PPD=$(mktemp --suffix=.ppd)
trap 'rm -f "$MARGIN_PPD"' EXIT
awk '
    /^\*HWMargins:/ { print "*HWMargins: 12 12 12 12"; next }
    /^\*ImageableArea / && match($0, /"[0-9.]+ [0-9.]+ [0-9.]+ [0-9.]+"/) {
        split(substr($0, RSTART + 1, RLENGTH - 2), v, " ")
        printf "%s\"%g %g %g %g\"\n", substr($0, 1, RSTART - 1), v[1] + 12, v[2] + 12, v[3] - 12, v[4] - 12
        next
    }
    /^\*NickName:/ { print "*NickName: \"KEST test PDF with 12 pt margins\""; next }
    /^\*ShortNickName:/ { print "*ShortNickName: \"KEST PDF 12pt margins\""; next }
    { print }
' "$PPD" >"$MARGIN_PPD"
grep -q '^\*ImageableArea A4/A4: "12 12 583 830"' "$MARGIN_PPD" ||
    { echo "could not make the 12 pt margin PPD" >&2; exit 1; }
chmod 644 "$MARGIN_PPD"
if ! lpstat -p KEST_PDF_MARGIN >/dev/null 2>&1; then
    $SUDO lpadmin -p KEST_PDF_MARGIN -v cups-pdf:/ -P "$MARGIN_PPD" -E
fi
$SUDO cupsenable KEST_PDF_MARGIN 2>/dev/null || true
$SUDO cupsaccept KEST_PDF_MARGIN 2>/dev/null || true
$SUDO lpadmin -d KEST_PDF
echo /var/spool/cups-pdf
