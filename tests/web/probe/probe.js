// Probes of the HTTP tests, served beside the order book's own module.
function whoami() { sendToFront("client", client_ip); }
function echo() { sendToFront("size", note.length); }
