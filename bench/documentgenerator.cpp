#include "documentgenerator.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

qint64 GenerateDocument(const QString& path, int megabytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    const qint64 target = qint64(megabytes) * 1024 * 1024;
    qint64 nodes = 2;
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue generated=\"bench\">\n");
    QByteArray record;
    for (qint64 i = 0; file.size() < target; ++i) {
        const QByteArray n = QByteArray::number(i);
        record.clear();
        record += "  <record id=\"r" + n + "\" kind=\"" + (i % 3 ? "item" : "group") + "\">\n";
        record += "    <name>Record number " + n + "</name>\n";
        record += "    <value unit=\"mm\">" + QByteArray::number(i * 7 % 1000) + "</value>\n";
        record += "    <!-- checked " + n + " -->\n";
        record +=
            "    <description>A longer description of record " + n +
            ", as catalogues carry them: where it came from, what it is for, and who checked it "
            "last.</description>\n";
        record += "    <note>Mixed <b>bold</b> and <i>italic</i> text for " + n + ".</note>\n";
        if (i % 10 == 0)
            record += "    <raw><![CDATA[<not>parsed</not> " + n +
                      "]]></raw>\n    <?process step=\"" + n + "\"?>\n";
        record += "  </record>\n";
        file.write(record);
        nodes += 20 + (i % 10 == 0 ? 3 : 0);
    }
    file.write("</catalogue>\n");
    return nodes;
}

void GenerateSchema(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="catalogue">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="record" type="Record" minOccurs="0" maxOccurs="unbounded"/>
      </xs:sequence>
      <xs:attribute name="generated" type="xs:string"/>
    </xs:complexType>
  </xs:element>
  <xs:complexType name="Record">
    <xs:sequence>
      <xs:element name="name" type="xs:string"/>
      <xs:element name="value">
        <xs:complexType><xs:simpleContent><xs:extension base="xs:nonNegativeInteger">
          <xs:attribute name="unit" type="xs:token" use="required"/>
        </xs:extension></xs:simpleContent></xs:complexType>
      </xs:element>
      <xs:element name="description" type="xs:string"/>
      <xs:element name="note">
        <xs:complexType mixed="true">
          <xs:choice minOccurs="0" maxOccurs="unbounded">
            <xs:element name="b" type="xs:string"/>
            <xs:element name="i" type="xs:string"/>
          </xs:choice>
        </xs:complexType>
      </xs:element>
      <xs:element name="raw" type="xs:string" minOccurs="0"/>
    </xs:sequence>
    <xs:attribute name="id" type="xs:ID" use="required"/>
    <xs:attribute name="kind" use="required">
      <xs:simpleType><xs:restriction base="xs:token">
        <xs:enumeration value="item"/><xs:enumeration value="group"/>
      </xs:restriction></xs:simpleType>
    </xs:attribute>
  </xs:complexType>
</xs:schema>
)");
}

QString BenchDocument(int argc, char** argv, const QTemporaryDir& dir) {
    if (argc > 2 && argv[2][0] != '\0')  // an empty name asks for a generated document
        return QString::fromLocal8Bit(argv[2]);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 100;
    const QString path = dir.filePath(QStringLiteral("large.xml"));
    std::printf("generating %d MB document...\n", megabytes);
    std::fflush(stdout);
    const qint64 nodes = GenerateDocument(path, megabytes);
    std::printf("  %lld nodes, %.1f MB\n", static_cast<long long>(nodes),
                QFile(path).size() / 1048576.0);
    std::fflush(stdout);
    return path;
}
