# How a webhook receiver checks a request from zamri: the signature proves it comes from a
# sender that knows the hook's secret, the timestamp that it is fresh (a request recorded and
# sent again later is refused). Python 3, standard library only.
import hashlib
import hmac
import time


def zamri_request_ok(secret: bytes, headers, body: bytes, max_age_seconds: int = 300) -> bool:
    timestamp = headers.get("X-Zamri-Timestamp", "")
    signature = headers.get("X-Zamri-Signature", "")
    if not timestamp.isdigit() or abs(time.time() - int(timestamp)) > max_age_seconds:
        return False
    expected = hmac.new(secret, timestamp.encode() + b"." + body, hashlib.sha256).hexdigest()
    return hmac.compare_digest(signature, "sha256=" + expected)
