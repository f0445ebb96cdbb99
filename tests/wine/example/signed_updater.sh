# The example release built as a signed updater (Authenticode, with a
# certificate made here): it verifies, and runs through the whole update
# under Wine as the unsigned one does.
# shellcheck shell=bash
openssl req -x509 -newkey rsa:2048 -days 30 -subj '/CN=ExampleSoft Release' -nodes \
  -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null || fail "openssl cannot make a certificate"
SIGN_OPTIONS=(--sign-cert "$WORK/cert.pem" --sign-key "$WORK/key.pem")
# shellcheck source=tests/wine/example/star_journey.sh
source "$(dirname "$CASE")/star_journey.sh"
say "> updpack verify --ca cert.pem STARUPD.EXE"
"$UPDPACK" verify --ca "$WORK/cert.pem" "$WORK/STARUPD.EXE" || fail "the signed updater does not verify"
