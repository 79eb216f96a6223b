// A minimal toolbar with one button.
export function createToolbar(host, { title, onClick }) {
  const bar = host.ui.createToolbar(title);
  bar.addButton({ label: title, icon: "images/icon.png", onClick });
  return bar;
}
