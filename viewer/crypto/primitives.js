// What the viewer needs to open an age-encrypted medium, taken from the pinned npm packages and
// bundled into one plain script (qv-crypto.js) for a page opened from file://. Only the format
// is ours (data/Other/qv-age.js); none of the cryptography is.
export { chacha20poly1305 } from '@noble/ciphers/chacha.js';
export { scryptAsync } from '@noble/hashes/scrypt.js';
export { hkdf } from '@noble/hashes/hkdf.js';
export { hmac } from '@noble/hashes/hmac.js';
export { sha256 } from '@noble/hashes/sha2.js';
export { x25519 } from '@noble/curves/ed25519.js';
export { bech32 } from '@scure/base';
