function main() { sendToFront("greeting", "hello, world"); }
