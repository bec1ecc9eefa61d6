// The bundled example: a request that names this module and calls main.
function greeting(name) {
  return `hello, ${name}`;
}

function main() {
  var order = { id: 7, items: ["tea", "cake"], total: 12.5 };
  sendToFront("message", greeting(user));
  sendToFront("order", order);
}
