// Entry point of the demo plug-in: adds a toolbar with a word counter.
import { createToolbar } from "./src/widgets/toolbar.js";

export function activate(host) {
  const toolbar = createToolbar(host, {
    title: "字数统计",
    onClick: () => host.showMessage(`共 ${host.document.text.length} 字`),
  });
  host.ui.addToolbar(toolbar);
}
