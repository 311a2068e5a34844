# Sourced by the signing tests. make_throwaway_signer DAYS makes, in the
# current folder, a self-signed code-signing certificate valid from now for
# DAYS days (certificate.pem, key.pem) and the PKCS#12 file the build signs
# with (signer.pfx), and exports its password as the build reads it.
make_throwaway_signer() {
  openssl req -x509 -newkey rsa:2048 -nodes -days "$1" -subj "/CN=Zandrell test signer" \
    -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout key.pem -out certificate.pem 2>/dev/null
  export ZANDRELL_SIGN_PASSWORD="throwaway password"
  openssl pkcs12 -export -inkey key.pem -in certificate.pem -out signer.pfx \
    -passout env:ZANDRELL_SIGN_PASSWORD
}
